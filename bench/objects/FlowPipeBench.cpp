// Flow pipes under a simulation's load, through the object manager's update
// callback fed by the real receive ring:
//  - BM_FlowPositionUpdate: one flow-position packet (item 84) for the first
//    pipe of a chain of 20 straight pipes holding 200 indicators; each one
//    places every indicator (its pipe, pose and colour; the pipes alternate
//    two indicator colours, so cones change colour as they move on).
//  - BM_BarePositionUpdate (the baseline, in the same run): one position
//    packet (item 1) for a bare 3D object.
// Both report updates per second of processor time; their ratio is what a
// flow update costs in bare updates.
//   bench_flowpipe --benchmark_counters_tabular=true
#include <cstdint>

#include "BenchScene.h"
#include "objects/VisFlowPipeObject.h"

namespace {

using bench::addressed;
using bench::Scene;
using Pipe = VisFlowPipeObject;

constexpr int PIPES = 20;
constexpr int INDICATORS = 200;
constexpr float LENGTH = 1.f, RADIUS = 0.1f;
// Step r / density over S = PIPES · L · r gives INDICATORS cones.
constexpr float DENSITY = float(INDICATORS) / (float(PIPES) * LENGTH);

// Pipe i (object number i + 1) runs along x from x = i.
GNP2::Packet* pipeCreation(int i)
{
    GNP2::Packet* packet = addressed(i + 1, TYPE_VisFlowPipeObject);
    packet->setIntVector(item::flow_pipe::PipeKind, {Pipe::KIND_STRAIGHT});
    packet->setFloatVector(item::flow_pipe::Length, {LENGTH});
    packet->setFloatVector(item::flow_pipe::InletRadius, {RADIUS});
    packet->setFloatVector(item::flow_pipe::OutletRadius, {RADIUS});
    packet->setIntVector(item::flow_pipe::TubeColour, {170, 210, 255});
    packet->setIntVector(item::flow_pipe::TubeOpacity, {1});
    packet->setFloatVector(item::flow_pipe::Start, {float(i) * LENGTH, 0.f, 0.f});
    packet->setFloatVector(item::flow_pipe::Orientation, {1.f, 0.f, 0.f, 0.f, 1.f, 0.f});
    packet->setIntVector(item::flow_pipe::Upstream, {i == 0 ? -1 : i});
    packet->setIntVector(item::flow_pipe::Downstream, {i == PIPES - 1 ? -1 : i + 2});
    packet->setIntVector(item::flow_pipe::IndicatorColour, i % 2 == 0
                                                               ? std::vector<int>{255, 200, 40}
                                                               : std::vector<int>{255, 70, 40});
    packet->setFloatVector(item::flow_pipe::IndicatorDensity, {DENSITY});
    return packet;
}

GNP2::Packet* flowUpdate(float position)
{
    GNP2::Packet* packet = addressed(1, TYPE_VisFlowPipeObject);
    packet->setFloatVector(item::flow_pipe::FlowPosition, {position});
    return packet;
}

GNP2::Packet* bareUpdate(float x)
{
    GNP2::Packet* packet = addressed(1, TYPE_VisBaseObject);
    packet->setFloatVector(item::shape::Position, {x, 0.f, 0.f});
    return packet;
}

// Feeds a ring's worth of updates per iteration; only the applying is timed.
template <typename Update> void run(benchmark::State& state, Scene& scene, Update update)
{
    std::int64_t updates = 0;
    int step = 0;
    for (auto _ : state) {
        scene.feed(&state, bench::BATCH, [&](int) { return update(float(++step) * 0.001f); });
        updates += bench::BATCH;
    }
    state.counters["updates/s"] = benchmark::Counter(double(updates), benchmark::Counter::kIsRate);
}

void BM_FlowPositionUpdate(benchmark::State& state)
{
    ObjectFactory factory;
    registerFlowPipeObjects(factory);
    Scene scene(factory);
    // Every pipe first, then one update of the first pipe makes the cones.
    scene.feed(nullptr, PIPES, pipeCreation);
    scene.feed(nullptr, 1, [](int) { return flowUpdate(0.f); });
    auto* first = dynamic_cast<Pipe*>(scene.root->getChild(0));
    if (!first || first->indicators().size() != std::size_t(INDICATORS)) {
        state.SkipWithError("the chain does not hold its 200 indicators");
        return;
    }
    run(state, scene, flowUpdate);
    if (first->indicators().size() != std::size_t(INDICATORS))
        state.SkipWithError("indicators were lost");
    state.counters["indicators"] = double(first->indicators().size());
}

void BM_BarePositionUpdate(benchmark::State& state)
{
    Scene scene(bench::bareFactory());
    scene.feed(nullptr, 1, [](int) { return bareUpdate(0.f); });
    run(state, scene, bareUpdate);
}

} // namespace

BENCHMARK(BM_BarePositionUpdate)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FlowPositionUpdate)->Unit(benchmark::kMillisecond);
