// What the replay reader allocates for a damaged file. The largest single
// request of this test program is tracked by replacing the global operator
// new, so that a test can tell a reader that sizes its buffer from an
// untrusted length word.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "ReplayFiles.h"
#include "gnp2/Packet.h"
#include "log/Log.h"
#include "orvane/Protocol.h"
#include "replay/ReplayManager.h"

namespace {
std::atomic<std::size_t> largestRequest{0};
}

// The replacements below pair malloc with free; the compiler, which sees
// only the standard operator new, would call that a mismatch.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t size)
{
    std::size_t largest = largestRequest.load(std::memory_order_relaxed);
    while (size > largest &&
           !largestRequest.compare_exchange_weak(largest, size, std::memory_order_relaxed)) {
    }
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept
{
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}

using namespace replay_files;

namespace {

bool logged(const std::string& text)
{
    for (const console::LogLine& line : console::Log::instance().snapshot())
        if (line.text.find(text) != std::string::npos)
            return true;
    return false;
}

// The last record's length word claims nearly 4 GiB where a few bytes
// follow: it is indexed (a record cut short), and reading it is a read error
// that reindexes, without a buffer of the claimed size ever being made.
TEST(ReplayAllocation, LengthRunningPastTheEndOfTheFileIsNotAllocated)
{
    console::Log::instance().setEchoToStderr(false);
    console::Log::instance().clear();
    std::vector<unsigned char> bytes;
    append(bytes, record(1.f, 1, 10.f));
    append(bytes, record(2.f, 2, 20.f));
    f32(bytes, 2.f);
    u32(bytes, 0xFFFFFFF0u);
    u32(bytes, GNP2::makeHeader(3, orvane::kind::Shape));
    bytes.resize(bytes.size() + 40, 0);
    TempFile file("huge-length.dat");
    file.write(bytes);

    ReplayManager replay(file.path());
    ASSERT_EQ(replay.index().size(), 3u);
    largestRequest = 0;
    const std::vector<GNP2::Packet*> frame = replay.getPackets(2.f);
    const std::size_t largest = largestRequest.load();
    ASSERT_EQ(frame.size(), 1u) << "the sound record of the frame is read";
    EXPECT_EQ(frame[0]->getFloatVector(orvane::item::shape::Position)[0], 20.f);
    for (GNP2::Packet* packet : frame)
        delete packet;
    EXPECT_TRUE(logged("[ReplayManager] File read error!"));
    EXPECT_EQ(replay.index().size(), 3u) << "reindexed";
    EXPECT_LT(largest, std::size_t(64) << 20) << "a buffer sized by the damaged length word";
}

} // namespace
