// orvane-replay export-mcap against reading the same replay, in the same run:
// a recording of 1 million records of 1,000 boxes that only move (position
// and orientation change, shape and colour stay), generated once into
// $ORVANE_BENCH_DIR or /tmp.
//   bench_mcap_export --benchmark_counters_tabular=true
// - BM_ExportVsRead: each iteration times, in turn, reading the file with the
//   tool's record scan (every record read and its packet checked, as export
//   reads it), reading the file in 4 MiB blocks, and the export. Ratios =
//   read time / export time (1.0: export as fast as the read), so higher is
//   better: vs_scan and vs_blocks in wall time, vs_scan_cpu in processor
//   time (the export writes 240 MB, so its wall time also waits on the
//   disk). Also the bytes the export writes per update against the
//   replay's own bytes per record.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "client/tools/ReplayTool.h"
#include "gnp2/Packet.h"
#include "gnp2/ReplayRecord.h"
#include "orvane/Protocol.h"

namespace {

constexpr std::size_t RECORDS = 1'000'000;
constexpr int OBJECTS = 1000;

std::filesystem::path benchDir()
{
    const char* dir = std::getenv("ORVANE_BENCH_DIR");
    return dir ? dir : std::filesystem::temp_directory_path();
}

std::string benchFile()
{
    const std::filesystem::path path = benchDir() / "orvane-bench-mcap-1M.dat";
    if (std::filesystem::exists(path))
        return path.string();
    namespace item = orvane::item::shape;
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    GNP2::Packet state;
    std::vector<unsigned char> bytes;
    for (std::size_t r = 0; r < RECORDS; ++r) {
        const int object = int(r % OBJECTS);
        const float t = float(r / OBJECTS) * 0.01f;
        state.setHeader(GNP2::makeHeader(std::uint32_t(object), orvane::kind::Shape));
        state.setFloatVector(orvane::item::Time, {t});
        state.setFloatVector(item::Position, {t, float(object), 0.5f * t});
        const float c = std::cos(t), s = std::sin(t);
        state.setFloatVector(item::Orientation, {c, s, 0.f, -s, c, 0.f});
        state.setIntVector(item::ShapeKind, {1});
        state.setFloatVector(item::Scale, {1.f, 2.f, 0.5f});
        state.setIntVector(item::Colour, {200, 100, 50});
        state.setIntVector(orvane::item::Connection, {1});
        bytes.resize(GNP2::replayRecord::size(state));
        GNP2::replayRecord::write(state, t, bytes.data());
        file.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    return path.string();
}

double processSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// Wall and processor seconds, added up over the iterations.
struct Seconds
{
    double wall = 0, cpu = 0;
};

template <class F> void timed(Seconds& total, F&& f)
{
    const auto start = std::chrono::steady_clock::now();
    const double cpu = processSeconds();
    f();
    total.cpu += processSeconds() - cpu;
    total.wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_ExportVsRead(benchmark::State& state)
{
    const std::string replay = benchFile();
    const std::string out = (benchDir() / "orvane-bench-mcap-1M.mcap").string();
    Seconds scan, blocks, exported;
    std::size_t records = 0;
    for (auto _ : state) {
        timed(scan, [&] {
            records = 0;
            orvane::replaytool::scanReplay(replay,
                                           [&](const orvane::replaytool::Record&) { ++records; });
        });
        timed(blocks, [&] {
            std::vector<char> block(4u << 20);
            std::FILE* file = std::fopen(replay.c_str(), "rb");
            std::size_t sum = 0;
            while (const std::size_t n = std::fread(block.data(), 1, block.size(), file))
                sum += std::size_t(block[n - 1]);
            std::fclose(file);
            benchmark::DoNotOptimize(sum);
        });
        timed(exported, [&] {
            std::ostringstream said, err;
            if (orvane::replaytool::run({"export-mcap", replay, out}, said, err) != 0)
                state.SkipWithError(err.str().c_str());
        });
    }
    const double replayBytes = double(std::filesystem::file_size(replay));
    const double mcapBytes = double(std::filesystem::file_size(out));
    state.counters["vs_scan"] = scan.wall / exported.wall;
    state.counters["vs_scan_cpu"] = scan.cpu / exported.cpu;
    state.counters["vs_blocks"] = blocks.wall / exported.wall;
    state.counters["records_per_s"] = double(records) * double(state.iterations()) / exported.wall;
    state.counters["replay_B_per_record"] = replayBytes / double(records);
    state.counters["mcap_B_per_update"] = mcapBytes / double(records);
    std::filesystem::remove(out);
}
BENCHMARK(BM_ExportVsRead)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

} // namespace
