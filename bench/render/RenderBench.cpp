// Drawing the scene: frame time of the real viewer (the viewer manager with
// its main view, lights and scene set-up) with 1,000 to 10,000 shape
// objects against an empty scene, so that what each object costs in culling
// and in state changes stays in sight. The shapes are made by the object
// manager from packets, as a simulation makes them: the five solids in
// turn, each with a colour of its own, on a grid the home view frames.
//
// Arguments: shape count, whether every shape is moved before each frame
// (by a position packet, applied outside the timed frame) and the
// appearance: 0 opaque, 1 half transparent, 2 wireframe.
//
// Each benchmark measures both in the same run: first frames of the empty
// scene (baseline), then the shapes are created and their frames measured.
// Counters: frame_ms, empty_ms, vs_empty = frame_ms / empty_ms and
// kib_per_shape (growth of the resident memory while the shapes were made,
// per shape). Mesa's no-op driver keeps the processor side (the GL front
// end and the scene library) and drops the rasterising:
//   xvfb-run -a -s "-screen 0 1280x1024x24" env GALLIUM_NOOP=1
//     build/bench/render/bench_render --benchmark_counters_tabular=true
// (one command line)
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <fstream>
#include <memory>
#include <vector>

#include <malloc.h>
#include <unistd.h>

#include <osg/Group>

#include "gnp2/Packet.h"
#include "net/PacketRing.h"
#include "objects/ShapeObjects.h"
#include "protocol/Items.h"
#include "scene/ObjectManager.h"
#include "video/ReplayExportHost.h"
#include "view/CompositeViewerQOSG.h"
#include "view/ViewObjects.h"

namespace {

constexpr int WIDTH = 800;
constexpr int HEIGHT = 600;
constexpr int WARM_UP_FRAMES = 5;    // the first frames compile the drawing state
constexpr int BASELINE_FRAMES = 200; // of the empty scene, per benchmark
constexpr int PER_CONNECTION = 4096; // object numbers have 12 bits

// Resident memory of this process in KiB.
double residentKiB()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / 1024.0;
}

// Bytes the heap has handed out and not had back, in KiB.
double heapKiB()
{
    const struct mallinfo2 info = mallinfo2();
    return double(info.uordblks + info.hblkhd) / 1024.0;
}

enum Appearance : int
{
    OPAQUE = 0,
    HALF_TRANSPARENT = 1,
    WIREFRAME = 2,
};

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

    void push(GNP2::Packet* packet)
    {
        objects().receiveRing().push(packet);
        if (objects().receiveRing().size() >= PacketRing::CAPACITY - 1)
            applyQueued();
    }

    static int gridSide(int count)
    {
        int side = 1;
        while (side * side < count)
            ++side;
        return side;
    }

    // A packet for shape `index` (kinds 1-5 in turn, numbered per connection)
    // at its place on a square grid in the x-y plane, lifted by `lift`.
    static GNP2::Packet* placed(int index, int side, float lift)
    {
        auto* packet = new GNP2::Packet;
        packet->setHeader(
            GNP2::makeHeader(std::uint32_t(index % PER_CONNECTION), TYPE_VisBaseObject));
        packet->setIntVector(GNP2::ITEM_CONNECTION, {index / PER_CONNECTION});
        packet->setFloatVector(item::shape::Position,
                               {float(index % side) * 2.f, float(index / side) * 2.f, lift});
        return packet;
    }

    // Shape `index` of `count`, coloured by its place.
    void createShapes(int count, int appearance)
    {
        const int side = gridSide(count);
        for (int index = 0; index < count; ++index) {
            GNP2::Packet* packet = placed(index, side, 0.f);
            packet->setIntVector(item::shape::ShapeKind, {1 + index % 5});
            packet->setFloatVector(item::shape::Scale, {1.f, 1.f, 1.f});
            packet->setIntVector(item::shape::Colour, {(index * 7) % 256, (index * 13) % 256, 128});
            if (appearance == HALF_TRANSPARENT)
                packet->setFloatVector(item::shape::Opacity, {0.5f});
            else if (appearance == WIREFRAME)
                packet->setIntVector(item::shape::Wireframe, {1});
            push(packet);
        }
        applyQueued();
        // The update traversal of the next frame adds the new objects; the
        // home view then frames them all.
        viewer().viewer()->frame();
        viewer().homeView();
    }

    // Every shape moved up or down a little, as a running simulation does.
    void moveShapes(int count, int frame)
    {
        const int side = gridSide(count);
        const float lift = float(frame % 2) * 0.1f;
        for (int index = 0; index < count; ++index)
            push(placed(index, side, lift));
        applyQueued();
    }

    // `count` shapes of one kind, all with the same dimensions and
    // parameters (the demo's), each with a colour of its own.
    void createKind(int count, int kind)
    {
        const int side = gridSide(count);
        for (int index = 0; index < count; ++index)
            push(shapePacket(index, side, kind));
        applyQueued();
    }

    static GNP2::Packet* shapePacket(int index, int side, int kind)
    {
        GNP2::Packet* packet = placed(index, side, 0.f);
        packet->setIntVector(item::shape::ShapeKind, {kind});
        packet->setFloatVector(item::shape::Scale, kindScale(kind));
        packet->setFloatVector(item::shape::Parameters, kindParameters(kind));
        packet->setIntVector(item::shape::Colour, {(index * 7) % 256, (index * 13) % 256, 128});
        return packet;
    }

    static std::vector<float> kindParameters(int kind)
    {
        switch (kind) {
        case 7: // spring: windings, wire radius
            return {10.f, 0.05f};
        case 8: // gear: ring parameter, teeth, taper angle
            return {0.4f, 20.f, 0.f};
        case 9: // tapered pipe: bore diameter, end diameter
            return {0.f, 0.5f, 0.8f};
        case 10: // grid: line spacing
            return {0.5f};
        default:
            return {};
        }
    }

    static std::vector<float> kindScale(int kind)
    {
        switch (kind) {
        case 7: // spring: length, coil radius
            return {1.f, 0.2f, 1.f};
        case 8: // gear: thickness in z
            return {1.f, 1.f, 0.3f};
        case 10: // grid: extents
            return {4.f, 4.f, 1.f};
        case 11: // beam: length, width, height
            return {2.f, 0.5f, 0.3f};
        default:
            return {1.f, 1.f, 1.f};
        }
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
    const bool moving = state.range(1) != 0;
    const int appearance = int(state.range(2));
    if (!h.viewer().beginOffscreen(WIDTH, HEIGHT)) {
        state.SkipWithError("no off-screen buffer");
        return;
    }
    h.clear();
    h.drawFrames(WARM_UP_FRAMES);
    const double empty = h.drawFrames(BASELINE_FRAMES);

    const double before = residentKiB();
    h.createShapes(count, appearance);
    if (h.objects().updateCallback().objectCount() != std::size_t(count)) {
        h.clear();
        h.viewer().endOffscreen();
        state.SkipWithError("not every shape was created");
        return;
    }
    h.drawFrames(WARM_UP_FRAMES);
    const double grown = residentKiB() - before;
    double total = 0;
    std::int64_t frames = 0;
    for (auto _ : state) {
        if (moving) {
            state.PauseTiming();
            h.moveShapes(count, int(frames));
            state.ResumeTiming();
        }
        total += h.drawFrames(1);
        ++frames;
    }
    // Cleared while the off-screen buffer is still current: a frame on the
    // hidden window would only warn that it is not realized.
    h.clear();
    h.viewer().endOffscreen();
    const double frame = frames > 0 ? total / double(frames) : 0.0;
    state.counters["frame_ms"] = frame;
    state.counters["empty_ms"] = empty;
    state.counters["vs_empty"] = empty > 0 ? frame / empty : 0.0;
    state.counters["kib_per_shape"] = count > 0 ? grown / count : 0.0;
}

// Memory of one shape kind: the heap grown while 2,000 shapes of the kind
// were made (same dimensions and parameters, colours of their own), per
// shape: `kib_per_shape` once they are in the scene, `kib_drawn` after the
// first frame drew them too (the GL driver's part included). The heap in use
// is counted rather than the resident set, which memory freed by the kind
// measured before would hide.
void BM_ShapeMemory(benchmark::State& state)
{
    constexpr int COUNT = 2000;
    Host& h = host();
    const int kind = int(state.range(0));
    if (!h.viewer().beginOffscreen(WIDTH, HEIGHT)) {
        state.SkipWithError("no off-screen buffer");
        return;
    }
    double made = 0, drawn = 0;
    for (auto _ : state) {
        h.clear();
        h.drawFrames(WARM_UP_FRAMES);
        const double before = heapKiB();
        h.createKind(COUNT, kind);
        made = heapKiB() - before;
        h.drawFrames(1);
        drawn = heapKiB() - before;
        if (h.objects().updateCallback().objectCount() != std::size_t(COUNT))
            state.SkipWithError("not every shape was created");
    }
    h.clear();
    h.viewer().endOffscreen();
    // What the state packets alone take: the same packets, kept.
    const double beforePackets = heapKiB();
    std::vector<std::unique_ptr<GNP2::Packet>> packets;
    for (int index = 0; index < COUNT; ++index)
        packets.emplace_back(Host::shapePacket(index, Host::gridSide(COUNT), kind));
    const double packetKiB = (heapKiB() - beforePackets) / COUNT;
    state.counters["kib_per_shape"] = made / COUNT;
    state.counters["kib_drawn"] = drawn / COUNT;
    state.counters["kib_beyond_packet"] = made / COUNT - packetKiB;
}

BENCHMARK(BM_ShapeMemory)
    ->ArgName("kind")
    ->DenseRange(1, 11)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

BENCHMARK(BM_DrawShapes)
    ->ArgNames({"shapes", "moving", "look"})
    ->Args({0, 0, OPAQUE})
    ->Args({1000, 0, OPAQUE})
    ->Args({10000, 0, OPAQUE})
    ->Args({1000, 1, OPAQUE})
    ->Args({4096, 1, OPAQUE})
    ->Args({10000, 1, OPAQUE})
    ->Args({4096, 1, HALF_TRANSPARENT})
    ->Args({4096, 1, WIREFRAME})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(1.0);

} // namespace
