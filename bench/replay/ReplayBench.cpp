// The replay file at scale: a recording of 10 million records, 2,000 moving
// objects (generated once into $ORVANE_BENCH_DIR or /tmp, outside the
// repository).
//   bench_replay --benchmark_counters_tabular=true
// Every figure is a ratio against a baseline measured in the same run, and
// the lines after the table repeat them:
// - BM_IndexVsRead/warm|cold: building the index against reading the same
//   file front to back in 4 MiB reads and in 256 KiB reads, the order
//   rotating in every iteration, each side starting with the file wholly in the page cache (warm)
//   or wholly out of it (cold: flushed and dropped with posix_fadvise). Ratio = read time / index
//   time (1.0: the index is built as fast as the file is read), for wall and process processor
//   time, against each way of reading.
// - BM_OpenAndFirstSeek: opening (the index ready) plus the first jump, which
//   restores every object, against the same read (warm).
// - BM_Seek: jumps between random times, the first after each opening
//   included: the slowest (wall and processor time) and the mean against
//   reading the file once; also the slowest in milliseconds, to hold against
//   the 5 ms a jump may take.
// - BM_GetPackets: one frame at random times (records per call).
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "gnp2/Packet.h"
#include "log/Log.h"
#include "replay/Recorder.h"
#include "replay/ReplayManager.h"

namespace {

constexpr std::size_t RECORDS = 10'000'000;
constexpr int OBJECTS = 2000;  // moving objects
constexpr int PER_FRAME = 200; // records per frame (time stamp)

std::string benchFile()
{
    const char* dir = std::getenv("ORVANE_BENCH_DIR");
    const std::filesystem::path base = dir ? dir : std::filesystem::temp_directory_path();
    const std::filesystem::path path = base / "orvane-bench-10M.dat";
    if (std::filesystem::exists(path))
        return path.string();
    // A recording as the recorder writes it: each frame updates PER_FRAME
    // objects in turn with position and orientation.
    ReplayRecorder recorder;
    if (!recorder.open(path.string()).empty())
        std::abort();
    GNP2::Packet state;
    for (std::size_t r = 0; r < RECORDS; ++r) {
        const int object = int(r % OBJECTS);
        const float t = float(r / PER_FRAME) * 0.01f;
        state.setHeader(GNP2::makeHeader(std::uint32_t(object), 2));
        state.setFloatVector(0, {t});
        state.setFloatVector(1, {t, float(object), 0.f});
        state.setFloatVector(3, {1.f, 0.f, 0.f, 0.f, 1.f, 0.f});
        state.setIntVector(13, {0});
        recorder.record(state);
    }
    recorder.close();
    return path.string();
}

double processSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

double wallSeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

struct Cost
{
    double wall = 0, cpu = 0;
    Cost& operator+=(const Cost& o)
    {
        wall += o.wall;
        cpu += o.cpu;
        return *this;
    }
};

template <class F> Cost measure(F&& f)
{
    const double w = wallSeconds(), c = processSeconds();
    f();
    return {wallSeconds() - w, processSeconds() - c};
}

// The whole file out of the page cache (written back first, or the dirty
// pages would stay), or wholly in it.
void dropFromCache(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0)
        std::abort();
    ::fdatasync(fd);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
}

constexpr std::size_t MAX_READ = std::size_t(4) << 20;

// Reads the file front to back, `block` bytes (at most MAX_READ) at a time.
void readFile(const std::string& path, std::size_t block = MAX_READ)
{
    static std::vector<char> buffer(MAX_READ);
    std::ifstream in(path, std::ios::binary);
    while (in.read(buffer.data(), std::streamsize(block)) || in.gcount() > 0)
        benchmark::DoNotOptimize(buffer[0]);
}

void prepareCache(const std::string& path, bool cold)
{
    if (cold)
        dropFromCache(path);
    else
        readFile(path);
}

// Ratios for the lines printed after the table, by name.
std::map<std::string, double>& ratios()
{
    static std::map<std::string, double> all;
    return all;
}

void BM_IndexVsRead(benchmark::State& state)
{
    const bool cold = state.range(0) != 0;
    const std::string path = benchFile();
    console::Log::instance().setEchoToStderr(false);
    // Three sides: reading in 4 MiB blocks, reading in 256 KiB blocks (the
    // size that suits this machine's caches best) and the index.
    Cost read, readSmall, index;
    std::size_t records = 0;
    int k = 0;
    for (auto _ : state) {
        // Rotate which side goes first, so none inherits another's state.
        Cost sides[3];
        for (int step = 0; step < 3; ++step) {
            prepareCache(path, cold);
            const int side = (step + k) % 3;
            if (side == 0) {
                sides[0] = measure([&] { readFile(path); });
            } else if (side == 1) {
                sides[1] = measure([&] { readFile(path, std::size_t(256) << 10); });
            } else {
                sides[2] = measure([&] {
                    ReplayManager replay(path);
                    records = replay.index().size();
                });
            }
        }
        ++k;
        read += sides[0];
        readSmall += sides[1];
        index += sides[2];
        state.SetIterationTime(sides[0].wall + sides[1].wall + sides[2].wall);
    }
    const std::string mode = cold ? "cold" : "warm";
    state.counters["records"] = double(records);
    state.counters["wall ratio"] = read.wall / index.wall;
    state.counters["cpu ratio"] = read.cpu / index.cpu;
    state.counters["wall ratio 256K"] = readSmall.wall / index.wall;
    state.counters["cpu ratio 256K"] = readSmall.cpu / index.cpu;
    ratios()["index speed / read speed, " + mode + ", wall"] = read.wall / index.wall;
    ratios()["index speed / read speed, " + mode + ", processor"] = read.cpu / index.cpu;
    ratios()["index / 256 KiB reads, " + mode + ", wall"] = readSmall.wall / index.wall;
    ratios()["index / 256 KiB reads, " + mode + ", processor"] = readSmall.cpu / index.cpu;
}

void BM_OpenAndFirstSeek(benchmark::State& state)
{
    const std::string path = benchFile();
    console::Log::instance().setEchoToStderr(false);
    Cost read, open;
    std::size_t restored = 0;
    for (auto _ : state) {
        prepareCache(path, false);
        const Cost r = measure([&] { readFile(path); });
        prepareCache(path, false);
        const Cost o = measure([&] {
            ReplayManager replay(path);
            std::vector<GNP2::Packet*> packets =
                replay.getPacketsForMove(std::nullopt, replay.lastTime() * 0.5f);
            restored = packets.size();
            for (GNP2::Packet* p : packets)
                delete p;
        });
        read += r;
        open += o;
        state.SetIterationTime(o.wall);
    }
    state.counters["objects"] = double(restored);
    state.counters["open/read wall"] = open.wall / read.wall;
    state.counters["open/read cpu"] = open.cpu / read.cpu;
    ratios()["open and first seek / read, wall"] = open.wall / read.wall;
    ratios()["open and first seek / read, processor"] = open.cpu / read.cpu;
}

// Jumps between random times; every fourth on a freshly opened replay (its
// first). The slowest and the mean seek against one read of the file.
void BM_Seek(benchmark::State& state)
{
    const std::string path = benchFile();
    console::Log::instance().setEchoToStderr(false);
    prepareCache(path, false);
    const Cost read = measure([&] { readFile(path); });
    std::mt19937 random(11);
    std::unique_ptr<ReplayManager> replay;
    std::optional<float> from;
    double slowest = 0, total = 0, slowestFirst = 0, slowestCpu = 0;
    std::size_t records = 0, seeks = 0;
    for (auto _ : state) {
        const bool first = seeks % 4 == 0;
        if (first) {
            state.PauseTiming();
            replay = std::make_unique<ReplayManager>(path);
            from.reset();
            state.ResumeTiming();
        }
        const float to =
            std::uniform_real_distribution<float>(replay->firstTime(), replay->lastTime())(random);
        const Cost c = measure([&] {
            for (GNP2::Packet* p : replay->getPacketsForMove(from, to)) {
                ++records;
                delete p;
            }
        });
        from = to;
        state.SetIterationTime(c.wall);
        slowest = std::max(slowest, c.wall);
        slowestCpu = std::max(slowestCpu, c.cpu);
        if (first)
            slowestFirst = std::max(slowestFirst, c.wall);
        total += c.wall;
        ++seeks;
    }
    state.counters["records/seek"] = double(records) / double(seeks);
    state.counters["slowest ms"] = slowest * 1e3;
    state.counters["slowest first ms"] = slowestFirst * 1e3;
    state.counters["slowest/read"] = slowest / read.wall;
    state.counters["slowest cpu ms"] = slowestCpu * 1e3;
    ratios()["slowest seek / read"] = slowest / read.wall;
    ratios()["slowest first seek / read"] = slowestFirst / read.wall;
    ratios()["mean seek / read"] = total / double(seeks) / read.wall;
    ratios()["slowest seek / read, processor"] = slowestCpu / read.cpu;
}

void BM_GetPackets(benchmark::State& state)
{
    console::Log::instance().setEchoToStderr(false);
    ReplayManager replay(benchFile());
    std::mt19937 random(7);
    std::uniform_real_distribution<float> time(replay.firstTime(), replay.lastTime());
    std::size_t packets = 0;
    for (auto _ : state) {
        for (GNP2::Packet* p : replay.getPackets(time(random))) {
            ++packets;
            delete p;
        }
    }
    state.counters["records/call"] = double(packets) / double(state.iterations());
}

} // namespace

BENCHMARK(BM_IndexVsRead)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("cold")
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(BM_OpenAndFirstSeek)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Seek)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(40);
BENCHMARK(BM_GetPackets)->Unit(benchmark::kMicrosecond)->Iterations(1000);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("\nRatios (same run):\n");
    for (const auto& [name, value] : ratios())
        std::printf("  %-45s %.3f\n", name.c_str(), value);
    return 0;
}
