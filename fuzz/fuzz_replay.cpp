// Feeds arbitrary files to the replay reader: indexing, the frame search and
// the reads for a time and for a move between two times. Whatever the bytes,
// the index must describe records inside the file in file order with time
// stamps that never go down, and every read must hand back no more than the
// index holds.
//
// Seeds (fuzz/replay_corpus): slices of recordings the viewer made of
// orvane-demo runs, cut at record boundaries - the start of a run (every
// object created), its middle, the end of one run followed by the start of
// the next (time going backwards), one cut short in its last record - and
// the damaged length word that once made the reader allocate 4 GiB.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include <unistd.h>

#include "gnp2/Packet.h"
#include "log/Log.h"
#include "replay/ReplayManager.h"

namespace {

// The reader takes a path: each input is written to one file of this process.
const std::string& inputPath()
{
    static const std::string path = [] {
        const char* directory = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        return std::string(directory) + "/orvane-fuzz-replay-" + std::to_string(::getpid()) +
               ".dat";
    }();
    return path;
}

void check(bool condition)
{
    if (!condition)
        std::abort();
}

// Packets returned by the reader are the caller's; each must be a whole
// packet that serializes to a frame of its own length.
std::size_t takeAll(const std::vector<GNP2::Packet*>& packets)
{
    for (GNP2::Packet* packet : packets) {
        std::vector<unsigned char> frame(packet->serializedSize());
        check(packet->serialize(frame.data()) == frame.size());
        delete packet;
    }
    return packets.size();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    console::Log::instance().setEchoToStderr(false);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    console::Log::instance().clear(); // the log keeps every line otherwise
    {
        std::FILE* file = std::fopen(inputPath().c_str(), "wb");
        if (!file)
            std::abort();
        if (size > 0)
            check(std::fwrite(data, 1, size, file) == size);
        std::fclose(file);
    }

    ReplayManager replay(inputPath());
    const ReplayIndex& index = replay.index();
    const std::size_t n = index.size();
    // Every record starts inside the file, after the one before, and its
    // time is a number that never goes down.
    for (std::size_t i = 0; i < n; ++i) {
        check(index[i].position + 8 <= size);
        check(!std::isnan(index[i].time));
        if (i > 0) {
            check(index[i].position >= index[i - 1].position + 12);
            check(index[i].time >= index[i - 1].time);
        }
        check(index[i].object < replay.objectCount());
    }
    check(replay.firstTime() == (n ? index.front().time : 0.0f));
    check(replay.lastTime() == (n ? index.back().time : 0.0f));

    // Times around and between the records.
    std::vector<float> times{-1.0f, replay.firstTime(), replay.lastTime(), replay.lastTime() + 1.0f,
                             (replay.firstTime() + replay.lastTime()) / 2};
    for (std::size_t i = 0; i < n && i < 8; ++i)
        times.push_back(index[i * n / 8].time);
    for (float t : times) {
        const std::size_t first = replay.findRecord(t);
        check(first <= n);
        if (first < n && t >= replay.firstTime())
            check(first == 0 || index[first - 1].time < index[first].time);
        check(takeAll(replay.getPackets(t)) <= n);
    }
    std::optional<float> from;
    for (float t : times) {
        check(takeAll(replay.getPacketsForMove(from, t)) <= replay.objectCount());
        from = t;
    }
    return 0;
}
