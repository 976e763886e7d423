// The real viewer under a flood: the orvane program in its window on the X
// display, N mixed solids, and position updates as fast as the viewer takes
// them. Reported per case:
//   updates/s  updates the viewer applied per second: the time runs until the
//              answer to an intersector packet sent after the last update
//              arrives, so updates still in the socket buffers do not count;
//   frame_ms   the viewer's frame time: one intersector packet rides among
//              every 200 updates, and the answers of one frame leave the viewer
//              together, so the bursts of answers count its frames;
//   vs_first   updates/s against the first case of the run (100 solids), the
//              baseline measured on the same machine in the same run.
// Needs an X display (the test command's virtual one will do):
//   xvfb-run -a -s "-screen 0 1280x1024x24" build/bench/live/bench_viewer
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>

#include "client/SimulationClient.h"
#include "gnp2/Packet.h"
#include "orvane/Protocol.h"
#include "tests/support/FreePort.h"

namespace {

namespace kind = orvane::kind;
namespace item = orvane::item;
using Clock = std::chrono::steady_clock;
using testsupport::freePort;

constexpr int UPDATES_PER_PROBE = 200;
constexpr int PROBE = 4090; // the intersector's object number
constexpr auto FLOOD = std::chrono::seconds(5);

// The orvane program in a folder of its own, ended with the case.
struct Viewer
{
    QTemporaryDir folder;
    QProcess process;

    explicit Viewer(int port)
    {
        process.setWorkingDirectory(folder.path());
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setStandardErrorFile(QProcess::nullDevice());
        process.start(ORVANE_PROGRAM, {"-tcp", QString::number(port)});
        process.waitForStarted(10000);
    }
    ~Viewer()
    {
        process.terminate();
        if (!process.waitForFinished(20000)) {
            process.kill();
            process.waitForFinished();
        }
    }
};

bool connectWithin(orvane::SimulationClient& client, int port, std::chrono::seconds limit)
{
    const auto end = Clock::now() + limit;
    while (Clock::now() < end) {
        try {
            client.connect("127.0.0.1", port);
            return true;
        } catch (const orvane::ClientError&) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    return false;
}

void placeSolid(GNP2::Packet& packet, int n, float z)
{
    const int side = 64;
    packet.setFloatVector(item::shape::Position,
                          {float(n % side) * 1.5f - 48.f, float(n / side) * 1.5f - 48.f, z});
}

void sendProbe(orvane::SimulationClient& client, bool first)
{
    GNP2::Packet probe;
    probe.setHeader(GNP2::makeHeader(PROBE, kind::Intersector));
    // A short segment far away from every solid: it hits nothing.
    probe.setFloatVector(item::intersector::Start, {500.f, 500.f, 500.f});
    probe.setFloatVector(item::intersector::End, {500.f, 500.f, 501.f});
    if (first) {
        probe.setFloatVector(item::intersector::MarkerSize, {0.1f});
        probe.setIntVector(item::intersector::DisplayMode, {0});
    }
    client.queue(probe);
}

double firstRate = 0.0;

void BM_ViewerFlood(benchmark::State& state)
{
    if (!std::getenv("DISPLAY")) {
        state.SkipWithError("needs an X display");
        return;
    }
    const int solids = int(state.range(0));
    const int port = freePort();
    Viewer viewer(port);
    orvane::SimulationClient client;
    if (!connectWithin(client, port, std::chrono::seconds(30))) {
        state.SkipWithError("the viewer did not answer");
        return;
    }
    for (int n = 0; n < solids; ++n) {
        GNP2::Packet solid;
        solid.setHeader(GNP2::makeHeader(n + 1, kind::Shape));
        solid.setIntVector(item::shape::ShapeKind, {1 + n % 5});
        solid.setIntVector(item::shape::Colour, {40 + n % 200, 120, 200 - n % 150});
        placeSolid(solid, n, 0.f);
        client.queue(solid);
    }
    sendProbe(client, true);
    client.flush();

    // Answers of the probes: a gap of more than 2 ms starts a new burst.
    std::atomic<long> answers{0}, bursts{0};
    std::atomic<bool> polling{true};
    std::thread poller([&] {
        auto last = Clock::now();
        while (polling) {
            while (auto answer = client.poll()) {
                const auto now = Clock::now();
                if (now - last > std::chrono::milliseconds(2))
                    ++bursts;
                last = now;
                ++answers;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    const auto waitAnswers = [&](long count) {
        const auto end = Clock::now() + std::chrono::seconds(120);
        while (answers < count && Clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return answers >= count;
    };
    if (!waitAnswers(1)) {
        polling = false;
        poller.join();
        state.SkipWithError("the viewer never answered the first probe");
        return;
    }

    long updates = 0, probes = 1;
    double seconds = 0.0;
    long frames = 0;
    for (auto _ : state) {
        const long burstsBefore = bursts;
        const auto start = Clock::now();
        GNP2::Packet move;
        while (Clock::now() - start < FLOOD) {
            for (int i = 0; i < UPDATES_PER_PROBE; ++i, ++updates) {
                const int n = int(updates % solids);
                move.setHeader(GNP2::makeHeader(n + 1, kind::Shape));
                placeSolid(move, n, std::sin(float(updates) * 1e-3f));
                client.queue(move);
            }
            sendProbe(client, false);
            ++probes;
            client.flush();
        }
        // Every update before the last probe is applied once it is answered.
        if (!waitAnswers(probes)) {
            state.SkipWithError("the viewer stopped answering");
            break;
        }
        seconds = std::chrono::duration<double>(Clock::now() - start).count();
        frames = bursts - burstsBefore;
        state.SetIterationTime(seconds);
    }
    polling = false;
    poller.join();
    const double rate = seconds > 0 ? double(updates) / seconds : 0.0;
    if (firstRate == 0.0)
        firstRate = rate;
    state.counters["updates/s"] = rate;
    state.counters["frame_ms"] = frames > 0 ? seconds * 1e3 / double(frames) : 0.0;
    state.counters["vs_first"] = firstRate > 0 ? rate / firstRate : 0.0;
}

BENCHMARK(BM_ViewerFlood)
    ->Arg(100)
    ->Arg(4000)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace
