// The viewer under a flood, without a window: a simulation (the client
// library on a thread of its own) streams 1,048,576 position updates, 256
// for each of 4,096 boxes, over loopback to the real object manager: its
// TCP server, its rings, the scene root's update callback, real shape
// objects and the recorder writing the temporary replay file. The GUI
// thread is played by this thread: it runs the update traversal by hand at
// 60 frames a second, each pass with the callback's 10 ms budget, and waits
// for the next frame in between, as the viewer does while it draws.
//
// Every iteration floods twice over the same connection and the same
// objects: once with recording off (the baseline) and once with recording
// on, so both see the same machine load. Counters:
//   off/s, on/s         applied (and recorded) updates per second, wall
//   gui_ns_off, _on     processor time of the GUI thread per update
//   record_cost         (gui_ns_on - gui_ns_off) / gui_ns_off: what
//                       recording adds to applying (goal: at most 0.25)
//   lost                updates sent but not applied, or applied but not
//                       recorded (must be 0)
//   rss_growth_MiB      resident memory after the last iteration minus
//                       after the first (flat: about 0)
//   per_pass            updates applied per update traversal
//   full_passes         share of the traversals that used the whole 10 ms
//                       budget; the others found the ring empty: the link
//                       did not deliver as fast as the scene applied (on
//                       a machine with fewer free cores than the three busy
//                       threads - simulation, receive thread, GUI thread -
//                       the receive thread mostly runs between passes)
// The arguments: the number of frames the simulation puts into one send, and
// whether a busy thread competes for the first processor all the while.
//
//   build/bench/live/bench_live --benchmark_counters_tabular=true
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <pthread.h>
#include <sched.h>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <QCoreApplication>

#include <benchmark/benchmark.h>
#include <osg/FrameStamp>
#include <osg/Group>
#include <osgUtil/UpdateVisitor>

#include "client/SimulationClient.h"
#include "log/Log.h"
#include "gnp2/Packet.h"
#include "net/TCPServer.h"
#include "objects/ShapeObjects.h"
#include "scene/ObjectKinds.h"
#include "net/PacketRing.h"
#include "replay/Recorder.h"
#include "scene/ObjectManager.h"
#include "scene/RootnodeUpdateCallback.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int SHAPES = 4096;
constexpr int UPDATES_PER_SHAPE = 256;
constexpr int UPDATES = SHAPES * UPDATES_PER_SHAPE;
constexpr auto FRAME = std::chrono::microseconds(16667);
// A pass this long used the update callback's 10 ms budget (the callback
// looks at the clock every 8 packets).
constexpr auto PASS_BUDGET = std::chrono::microseconds(9900);

double threadSeconds()
{
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

double processorSeconds()
{
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

double residentMiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::strtod(line.c_str() + 6, nullptr) / 1024.0;
    return 0.0;
}

// The wire frames of one flood: update k of shape n moves it to (n, k, step).
// Consecutive updates of a shape differ, so every one changes its state.
std::vector<unsigned char> floodFrames(std::vector<std::size_t>& frameEnds)
{
    std::vector<unsigned char> bytes;
    GNP2::Packet packet;
    frameEnds.clear();
    for (int k = 0; k < UPDATES_PER_SHAPE; ++k) {
        for (int n = 0; n < SHAPES; ++n) {
            packet.clear();
            packet.setHeader(GNP2::makeHeader(std::uint32_t(n), TYPE_VisBaseObject));
            packet.setFloatVector(1, {float(n % 64), float(k), float(n / 64) * 0.01f});
            const std::size_t at = bytes.size();
            bytes.resize(at + packet.serializedSize());
            packet.serialize(bytes.data() + at);
            frameEnds.push_back(bytes.size());
        }
    }
    return bytes;
}

// A complete box: kind, position, orientation, scale and colour.
void box(GNP2::Packet& packet, int n)
{
    packet.setHeader(GNP2::makeHeader(std::uint32_t(n), TYPE_VisBaseObject));
    packet.setIntVector(5, {1});
    packet.setFloatVector(1, {float(n % 64), 0.f, float(n / 64) * 0.01f});
    packet.setFloatVector(3, {1.f, 0.f, 0.f, 0.f, 1.f, 0.f});
    packet.setFloatVector(4, {0.5f, 0.5f, 0.5f});
    packet.setIntVector(44, {200, 120, 40});
}

class LiveViewer
{
public:
    LiveViewer()
        : _directory(makeDirectory()), _root(new osg::Group), _hud(new osg::Group),
          _frameStamp(new osg::FrameStamp)
    {
        registerShapeObjects(_factory);
        _manager = std::make_unique<ObjectManager>(_root.get(), _hud.get(), 0, ObjectServices{},
                                                   QString::fromStdString(_directory), _factory);
        _visitor.setFrameStamp(_frameStamp.get());
    }
    ~LiveViewer()
    {
        _client.close();
        _manager.reset();
        std::error_code ignored;
        std::filesystem::remove_all(_directory, ignored);
    }

    // Connects the simulation and creates the boxes; false when the link
    // did not come up.
    bool start()
    {
        if (!_manager->server().waitUntilListening(10s))
            return false;
        _client.connect("127.0.0.1", _manager->server().port());
        const Clock::time_point deadline = Clock::now() + 10s;
        while (_manager->state() != ObjectManager::Online && Clock::now() < deadline) {
            _manager->updateStatus();
            std::this_thread::sleep_for(1ms);
        }
        if (_manager->state() != ObjectManager::Online)
            return false;
        for (int n = 0; n < SHAPES; ++n) {
            GNP2::Packet packet;
            box(packet, n);
            _client.queue(packet);
        }
        _client.flush();
        while (_manager->updateCallback().objectCount() < std::size_t(SHAPES) &&
               Clock::now() < deadline)
            traverse();
        return _manager->updateCallback().objectCount() == std::size_t(SHAPES);
    }

    struct Result
    {
        double seconds = 0;    // wall, first send to last update applied
        double guiSeconds = 0; // processor time of the GUI thread
        std::int64_t applied = 0;
        std::int64_t recorded = 0;
        std::int64_t passes = 0;     // update traversals run
        std::int64_t fullPasses = 0; // of them, those that used the whole budget
    };

    // Sends the flood `framesPerSend` frames at a time and runs frames until
    // it is applied.
    Result flood(const std::vector<unsigned char>& bytes, const std::vector<std::size_t>& ends,
                 int framesPerSend, bool record)
    {
        rootnodeUpdateCallback& callback = _manager->updateCallback();
        callback.setRecorder(record ? _manager->recorder() : nullptr);
        const std::uint64_t appliedBefore = callback.appliedPackets();
        const std::size_t recordedBefore = _manager->recordedRecords();
        const std::uint64_t target = appliedBefore + ends.size();

        Result result;
        const Clock::time_point start = Clock::now();
        const double guiStart = threadSeconds();
        std::thread simulation([&] {
            std::size_t from = 0;
            for (std::size_t i = 0; i < ends.size(); i += std::size_t(framesPerSend)) {
                const std::size_t to =
                    ends[std::min(ends.size(), i + std::size_t(framesPerSend)) - 1];
                _client.sendFrames(bytes.data() + from, to - from);
                from = to;
            }
        });
        Clock::time_point nextFrame = start;
        const Clock::time_point deadline = start + 120s;
        while (callback.appliedPackets() < target && Clock::now() < deadline) {
            const Clock::time_point passStart = Clock::now();
            traverse();
            ++result.passes;
            if (Clock::now() - passStart >= PASS_BUDGET)
                ++result.fullPasses;
            nextFrame += FRAME;
            const Clock::time_point now = Clock::now();
            if (nextFrame > now)
                std::this_thread::sleep_until(nextFrame);
            else
                nextFrame = now; // a late frame does not make the next ones shorter
        }
        result.guiSeconds = threadSeconds() - guiStart;
        result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
        simulation.join();
        result.applied = std::int64_t(callback.appliedPackets() - appliedBefore);
        result.recorded = std::int64_t(_manager->recordedRecords() - recordedBefore);
        return result;
    }

private:
    static std::string makeDirectory()
    {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "orvane-live-bench-XXXXXX").string();
        const char* made = ::mkdtemp(pattern.data());
        return made ? std::string(made) : std::string(".");
    }

    // One update traversal of the scene, as the viewer runs it per frame.
    void traverse()
    {
        _frameStamp->setFrameNumber(_frameStamp->getFrameNumber() + 1);
        _visitor.reset();
        _visitor.setTraversalNumber(_frameStamp->getFrameNumber());
        _root->accept(_visitor);
    }

    std::string _directory;
    ObjectFactory _factory;
    osg::ref_ptr<osg::Group> _root, _hud;
    osg::ref_ptr<osg::FrameStamp> _frameStamp;
    osgUtil::UpdateVisitor _visitor;
    std::unique_ptr<ObjectManager> _manager;
    orvane::SimulationClient _client;
};

// A program that keeps one processor busy beside the viewer, as a GUI, a
// compiler or the simulation's own work would: a thread spinning on the
// first processor until it is told to stop.
class BusyCompetitor
{
public:
    explicit BusyCompetitor(bool on)
    {
        if (!on)
            return;
        _thread = std::thread([this] {
            cpu_set_t first;
            CPU_ZERO(&first);
            CPU_SET(0, &first);
            ::pthread_setaffinity_np(::pthread_self(), sizeof first, &first);
            volatile std::uint64_t sink = 0;
            while (!_stop.load(std::memory_order_relaxed))
                sink = sink + 1;
        });
    }
    ~BusyCompetitor()
    {
        _stop = true;
        if (_thread.joinable())
            _thread.join();
    }

private:
    std::atomic<bool> _stop{false};
    std::thread _thread;
};

void BM_LiveFlood(benchmark::State& state)
{
    const int framesPerSend = int(state.range(0));
    const BusyCompetitor competitor(state.range(1) != 0);
    std::vector<std::size_t> ends;
    const std::vector<unsigned char> bytes = floodFrames(ends);
    LiveViewer viewer;
    if (!viewer.start()) {
        state.SkipWithError("the simulation could not connect");
        return;
    }
    LiveViewer::Result off, on;
    std::int64_t lost = 0, passes = 0, fullPasses = 0;
    double rssAfterFirst = 0;
    for (auto _ : state) {
        const LiveViewer::Result a = viewer.flood(bytes, ends, framesPerSend, false);
        const LiveViewer::Result b = viewer.flood(bytes, ends, framesPerSend, true);
        lost += (std::int64_t(ends.size()) - a.applied) + (std::int64_t(ends.size()) - b.applied) +
                (b.applied - b.recorded);
        off.seconds += a.seconds;
        off.guiSeconds += a.guiSeconds;
        off.applied += a.applied;
        on.seconds += b.seconds;
        on.guiSeconds += b.guiSeconds;
        on.applied += b.applied;
        for (const LiveViewer::Result* r : {&a, &b}) {
            passes += r->passes;
            fullPasses += r->fullPasses;
        }
        if (rssAfterFirst == 0)
            rssAfterFirst = residentMiB();
    }
    const auto perSecond = [](const LiveViewer::Result& r) {
        return r.seconds > 0 ? double(r.applied) / r.seconds : 0.0;
    };
    const auto guiNs = [](const LiveViewer::Result& r) {
        return r.applied > 0 ? r.guiSeconds * 1e9 / double(r.applied) : 0.0;
    };
    state.counters["off/s"] = perSecond(off);
    state.counters["on/s"] = perSecond(on);
    state.counters["gui_ns_off"] = guiNs(off);
    state.counters["gui_ns_on"] = guiNs(on);
    state.counters["record_cost"] = guiNs(off) > 0 ? guiNs(on) / guiNs(off) - 1.0 : 0.0;
    state.counters["lost"] = double(lost);
    state.counters["rss_growth_MiB"] = residentMiB() - rssAfterFirst;
    state.counters["per_pass"] =
        passes > 0 ? double(off.applied + on.applied) / double(passes) : 0.0;
    state.counters["full_passes"] = passes > 0 ? double(fullPasses) / double(passes) : 0.0;
}

// The GUI thread's part alone, free of the link and of how many cores the
// machine lends the other threads: the same updates, decoded beforehand and
// a ring's worth at a time (not timed), applied by the update callback to
// the same 4,096 boxes, alternately without and with the recorder writing
// its file. Rates are per second of processor time, the median over the
// batches.
void BM_ApplyAndRecord(benchmark::State& state)
{
    std::vector<std::size_t> ends;
    const std::vector<unsigned char> bytes = floodFrames(ends);
    const std::string directory = (std::filesystem::temp_directory_path() /
                                   ("orvane-apply-bench-" + std::to_string(::getpid())))
                                      .string();
    ObjectFactory factory;
    registerShapeObjects(factory);
    PacketRing receive, send;
    osg::ref_ptr<osg::Group> root = new osg::Group, hud = new osg::Group;
    osg::ref_ptr<rootnodeUpdateCallback> callback =
        new rootnodeUpdateCallback(receive, send, factory, root.get(), hud.get());
    ReplayRecorder recorder;
    if (!recorder.open(directory + "/Temp/Orvane.dat").empty()) {
        state.SkipWithError("the recording cannot be opened");
        return;
    }
    const auto push = [&](GNP2::Packet* packet) {
        packet->setIntVector(GNP2::ITEM_CONNECTION, {0});
        receive.push(packet);
    };
    for (int n = 0; n < SHAPES; ++n) {
        auto* packet = new GNP2::Packet;
        box(*packet, n);
        push(packet);
        if (receive.size() >= PacketRing::CAPACITY - 1)
            while (!receive.empty())
                callback->runOnce();
    }
    while (!receive.empty())
        callback->runOnce();

    // Per batch: GUI-thread and whole-process processor time per update. The
    // medians are reported: a batch that was pre-empted or shared its core
    // with another program says nothing about the code.
    std::vector<double> perUpdate[2], processPerUpdate[2];
    std::size_t next = 0;
    for (auto _ : state) {
        // Batches alternate between recording off and on, so that both see
        // the same machine load.
        for (int batch = 0; batch < 128; ++batch) {
            const int record = batch % 2;
            callback->setRecorder(record ? &recorder : nullptr);
            {
                state.PauseTiming();
                const std::size_t from = next;
                for (int i = 0; i < PacketRing::CAPACITY - 1; ++i) {
                    const std::size_t begin = next == 0 ? 0 : ends[next - 1];
                    auto* packet = new GNP2::Packet;
                    packet->parse(bytes.data() + begin + 4, ends[next] - begin - 4);
                    push(packet);
                    next = (next + 1) % ends.size();
                }
                state.ResumeTiming();
                const double start = threadSeconds();
                const double processStart = processorSeconds();
                while (!receive.empty())
                    callback->runOnce();
                const double applied = double((next + ends.size() - from) % ends.size());
                perUpdate[record].push_back((threadSeconds() - start) / applied);
                processPerUpdate[record].push_back((processorSeconds() - processStart) / applied);
            }
        }
    }
    recorder.close();
    std::error_code ignored;
    std::filesystem::remove_all(directory, ignored);
    const auto median = [](std::vector<double>& values) {
        if (values.empty())
            return 0.0;
        std::nth_element(values.begin(), values.begin() + std::ptrdiff_t(values.size() / 2),
                         values.end());
        return values[values.size() / 2];
    };
    const double off = median(perUpdate[0]), on = median(perUpdate[1]);
    state.counters["off/s"] = off > 0 ? 1.0 / off : 0.0;
    state.counters["on/s"] = on > 0 ? 1.0 / on : 0.0;
    state.counters["record_cost"] = off > 0 ? on / off - 1.0 : 0.0;
    // Every thread's processor time, the recorder's writer included.
    const double processOff = median(processPerUpdate[0]);
    state.counters["record_cost_all"] =
        processOff > 0 ? median(processPerUpdate[1]) / processOff - 1.0 : 0.0;
}

BENCHMARK(BM_ApplyAndRecord)->Unit(benchmark::kMillisecond)->Iterations(30);

BENCHMARK(BM_LiveFlood)
    ->ArgNames({"frames_per_send", "busy"})
    ->ArgsProduct({{16, 64, 1000}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(4);

} // namespace

int main(int argc, char** argv)
{
    // Settings go to a folder of this run's own, never the user's.
    char pattern[] = "/tmp/orvane-live-bench-config-XXXXXX";
    if (const char* config = ::mkdtemp(pattern))
        ::setenv("XDG_CONFIG_HOME", config, 1);
    console::Log::instance().setEchoToStderr(false);
    benchmark::Initialize(&argc, argv);
    QCoreApplication application(argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ignored;
    std::filesystem::remove_all(pattern, ignored);
    return 0;
}
