#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "gnp2/Packet.h"
#include "gnp2/FrameReader.h"

namespace {

using GNP2::FrameReader;

// A stream of frames with bodies of the given sizes; each body byte encodes
// its frame and position so that a misplaced byte shows.
std::vector<unsigned char> streamOf(const std::vector<std::size_t>& bodySizes)
{
    std::vector<unsigned char> stream;
    for (std::size_t f = 0; f < bodySizes.size(); ++f) {
        const std::size_t offset = stream.size();
        stream.resize(offset + 4 + bodySizes[f]);
        GNP2::writeU32(stream.data() + offset, static_cast<std::uint32_t>(4 + bodySizes[f]));
        for (std::size_t i = 0; i < bodySizes[f]; ++i)
            stream[offset + 4 + i] = static_cast<unsigned char>(f * 31 + i);
    }
    return stream;
}

struct ChunkCase
{
    const char* name;
    std::size_t readLimit;       // largest read the "socket" returns
    std::size_t readChunk;       // reader's usual read
    std::size_t window;          // reader's window
    std::size_t initialCapacity; // 0: smallest, grows on demand
};

class FrameReaderChunks : public ::testing::TestWithParam<ChunkCase>
{
};

// Reads a stream of mixed small and large frames through a socket that
// returns at most readLimit bytes at a time: every body comes out whole, in
// order, whatever the split, the compaction and the growth of the buffer.
TEST_P(FrameReaderChunks, ReassemblesEveryFrame)
{
    const ChunkCase& c = GetParam();
    std::mt19937 random(42);
    std::vector<std::size_t> sizes;
    for (int i = 0; i < 400; ++i)
        sizes.push_back(4 + random() % (i % 50 == 7 ? 300000 : 200));
    sizes.push_back(4); // header-only body last
    const std::vector<unsigned char> stream = streamOf(sizes);

    FrameReader reader(c.readChunk, c.window, c.initialCapacity);
    std::size_t streamed = 0;
    std::size_t frame = 0;
    while (frame < sizes.size()) {
        const FrameReader::Next next = reader.next();
        if (next.status == FrameReader::Status::Frame) {
            ASSERT_EQ(next.bodyLength, sizes[frame]) << "frame " << frame;
            for (std::size_t i = 0; i < next.bodyLength; ++i)
                ASSERT_EQ(next.body[i], static_cast<unsigned char>(frame * 31 + i))
                    << "frame " << frame << " byte " << i;
            ++frame;
            continue;
        }
        ASSERT_EQ(next.status, FrameReader::Status::NeedMore);
        ASSERT_LT(streamed, stream.size()) << "reader wants more after the whole stream";
        const FrameReader::Space space = reader.prepareRead();
        ASSERT_GT(space.size, 0u);
        const std::size_t n = std::min({space.size, c.readLimit, stream.size() - streamed});
        std::memcpy(space.data, stream.data() + streamed, n);
        reader.commit(n);
        streamed += n;
    }
    EXPECT_EQ(streamed, stream.size());
    EXPECT_EQ(reader.pending(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Splits, FrameReaderChunks,
                         ::testing::Values(ChunkCase{"OneByteReads", 1, 1024, 4096, 0},
                                           ChunkCase{"OddReads", 7, 1024, 4096, 0},
                                           ChunkCase{"PageReads", 4096, 1024, 8192, 0},
                                           ChunkCase{"LargeReadsSmallWindow", 1 << 20, 4096, 16384,
                                                     0},
                                           ChunkCase{"DefaultsFullBuffer", 1 << 22, 256 << 10,
                                                     1 << 20, FrameReader::CAPACITY}),
                         [](const auto& row) { return std::string(row.param.name); });

} // namespace
