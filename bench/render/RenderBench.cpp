// Drawing the scene: frame time of the real viewer (the viewer manager with
// its main view, lights and scene set-up) with 1,000 and 10,000 shape
// objects against an empty scene, so that what each object costs in culling
// and in state changes stays in sight. The shapes are made by the object
// manager from packets, as a simulation makes them: the five solids in
// turn, each with a colour of its own, on a grid the home view frames.
//
// Each benchmark measures both in the same run: first frames of the empty
// scene (baseline), then the shapes are created and their frames measured.
// Counters: frame_ms, empty_ms and vs_empty = frame_ms / empty_ms. Under a
// virtual X server with software rendering only the ratios mean anything:
//   xvfb-run -a -s "-screen 0 1280x1024x24" env LIBGL_ALWAYS_SOFTWARE=1
//     build/bench/render/bench_render --benchmark_counters_tabular=true
// (one command line)
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <memory>

#include <osg/Group>

#include "gnp2/Packet.h"
#include "net/PacketRing.h"
#include "objects/ShapeObjects.h"
#include "scene/ObjectManager.h"
#include "video/ReplayExportHost.h"
#include "view/CompositeViewerQOSG.h"
#include "view/ViewObjects.h"

namespace {

constexpr int WIDTH = 800;
constexpr int HEIGHT = 600;
constexpr int WARM_UP_FRAMES = 5;    // the first frames compile the drawing state
constexpr int BASELINE_FRAMES = 20;  // of the empty scene, per benchmark
constexpr int PER_CONNECTION = 4096; // object numbers have 12 bits

struct Host
{
    ObjectFactory factory;
    std::unique_ptr<video::ReplayExportHost> host;

    Host()
    {
        registerShapeObjects(factory);
        registerViewObjects(factory);
        host = std::make_unique<video::ReplayExportHost>(new osg::Group, factory,
                                                         Embedding::NativeWindow);
    }

    ObjectManager& objects() { return host->objects(); }
    ViewerManager& viewer() { return host->viewer(); }

    void applyQueued()
    {
        while (!objects().receiveRing().empty())
            objects().updateCallback().runOnce();
    }

    // Shape `index` of `count`: kinds 1-5 in turn, on a square grid in the
    // x-y plane, coloured by its place.
    void createShapes(int count)
    {
        int side = 1;
        while (side * side < count)
            ++side;
        for (int index = 0; index < count; ++index) {
            auto* packet = new GNP2::Packet;
            packet->setHeader(
                GNP2::makeHeader(std::uint32_t(index % PER_CONNECTION), TYPE_VisBaseObject));
            packet->setIntVector(13, {index / PER_CONNECTION});
            packet->setIntVector(5, {1 + index % 5});
            packet->setFloatVector(1, {float(index % side) * 2.f, float(index / side) * 2.f, 0.f});
            packet->setFloatVector(4, {1.f, 1.f, 1.f});
            packet->setIntVector(44, {(index * 7) % 256, (index * 13) % 256, 128});
            objects().receiveRing().push(packet);
            if (objects().receiveRing().size() >= PacketRing::CAPACITY - 1)
                applyQueued();
        }
        applyQueued();
        // The update traversal of the next frame adds the new objects; the
        // home view then frames them all.
        viewer().viewer()->frame();
        viewer().homeView();
    }

    void clear()
    {
        objects().clearScene();
        viewer().viewer()->frame(); // the clear takes effect in this frame's update
        viewer().homeView();
    }

    // Milliseconds per frame over `frames` frames.
    double drawFrames(int frames)
    {
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < frames; ++i)
            viewer().viewer()->frame();
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                   .count() /
               frames;
    }
};

Host& host()
{
    static Host made;
    return made;
}

void BM_DrawShapes(benchmark::State& state)
{
    Host& h = host();
    const int count = int(state.range(0));
    if (!h.viewer().beginOffscreen(WIDTH, HEIGHT)) {
        state.SkipWithError("no off-screen buffer");
        return;
    }
    h.clear();
    h.drawFrames(WARM_UP_FRAMES);
    const double empty = h.drawFrames(BASELINE_FRAMES);

    h.createShapes(count);
    if (h.objects().updateCallback().objectCount() != std::size_t(count)) {
        h.viewer().endOffscreen();
        state.SkipWithError("not every shape was created");
        return;
    }
    h.drawFrames(WARM_UP_FRAMES);
    double total = 0;
    std::int64_t frames = 0;
    for (auto _ : state) {
        total += h.drawFrames(1);
        ++frames;
    }
    h.viewer().endOffscreen();
    h.clear();
    const double frame = frames > 0 ? total / double(frames) : 0.0;
    state.counters["frame_ms"] = frame;
    state.counters["empty_ms"] = empty;
    state.counters["vs_empty"] = empty > 0 ? frame / empty : 0.0;
}

BENCHMARK(BM_DrawShapes)
    ->Arg(0)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);

} // namespace
