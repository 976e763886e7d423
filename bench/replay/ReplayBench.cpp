// The replay file at scale: a recording of 10 million records (generated
// once into $ORVANE_BENCH_DIR or /tmp, outside the repository).
//   bench_replay --benchmark_counters_tabular=true
// - BM_SequentialRead (baseline) vs BM_BuildIndex: same file, same run;
//   ratio = index MB/s / read MB/s.
// - BM_GetPackets: getPackets at random times (time per call, records per call).
// - BM_OpenAndFirstSeek: opening plus the first jump, which also builds the
//   per-object record lists.
// - BM_SeekAcrossFile: a jump from the start to the end and back with the
//   per-object catch-up (time, records read per jump).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <vector>

#include "log/Log.h"
#include "gnp2/Packet.h"
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

void BM_SequentialRead(benchmark::State& state)
{
    const std::string path = benchFile();
    std::vector<char> buffer(std::size_t(4) << 20);
    std::size_t bytes = 0;
    for (auto _ : state) {
        std::ifstream in(path, std::ios::binary);
        while (in.read(buffer.data(), std::streamsize(buffer.size())) || in.gcount() > 0) {
            bytes += std::size_t(in.gcount());
            benchmark::DoNotOptimize(buffer[0]);
        }
    }
    state.SetBytesProcessed(std::int64_t(bytes));
}

void BM_BuildIndex(benchmark::State& state)
{
    const std::string path = benchFile();
    console::Log::instance().setEchoToStderr(false);
    const auto size = std::filesystem::file_size(path);
    std::size_t records = 0;
    for (auto _ : state) {
        ReplayManager replay(path);
        records = replay.index().size();
        benchmark::DoNotOptimize(records);
    }
    state.counters["records"] = double(records);
    state.SetBytesProcessed(std::int64_t(size * state.iterations()));
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

// Opening plus the first jump, which builds the per-object record lists.
void BM_OpenAndFirstSeek(benchmark::State& state)
{
    console::Log::instance().setEchoToStderr(false);
    const std::string path = benchFile();
    for (auto _ : state) {
        ReplayManager replay(path);
        for (GNP2::Packet* p : replay.getPacketsForMove(std::nullopt, replay.lastTime()))
            delete p;
    }
}

void BM_SeekAcrossFile(benchmark::State& state)
{
    console::Log::instance().setEchoToStderr(false);
    ReplayManager replay(benchFile());
    const float first = replay.firstTime(), last = replay.lastTime();
    std::size_t packets = 0;
    bool forward = true;
    for (auto _ : state) {
        for (GNP2::Packet* p :
             replay.getPacketsForMove(forward ? first : last, forward ? last : first)) {
            ++packets;
            delete p;
        }
        forward = !forward;
    }
    state.counters["records/jump"] = double(packets) / double(state.iterations());
}

} // namespace

BENCHMARK(BM_SequentialRead)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_BuildIndex)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_GetPackets)->Unit(benchmark::kMicrosecond)->Iterations(1000);
BENCHMARK(BM_OpenAndFirstSeek)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SeekAcrossFile)->Unit(benchmark::kMillisecond)->Iterations(10);
