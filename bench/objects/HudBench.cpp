// The head-up display under a simulation's load, through the object
// manager's update callback fed by the real receive ring:
//  - BM_HudSecond: one second of simulation for a HUD of 50 elements (10
//    graphs, 20 value texts, 10 bars, 10 buttons), each updated 100 times a
//    second: 100 steps of a time packet and one packet per element (a sample,
//    a value, a fill factor, a move). Reports simulated seconds per second
//    and packets/s.
//  - BM_BareSecond (the baseline, in the same run): the same stream as
//    position updates of 50 bare 3D objects.
//  - BM_GraphAddValue/N: one sample added to a graph showing N points (a
//    graph N units wide sampled every 10 ms), which moves every point, label
//    and grid line once: the cost should grow linearly with N.
// Rates are per second of processor time: the work is one thread's, and a
// shared machine stretches wall time.
//   bench_hud --benchmark_counters_tabular=true
#include <cmath>
#include <cstdint>
#include <string>

#include "BenchScene.h"
#include "objects/ShapeObjects.h"
#include "objects/VisHUDObject.h"
#include "objects/hud/HUDGraph.h"

namespace {

using bench::addressed;
using bench::Scene;

constexpr int ELEMENTS = 50;
constexpr int STEPS_PER_SECOND = 100;
constexpr int TIME_OBJECT = 4000;

enum Role
{
    GRAPH,
    VALUE,
    BAR,
    BUTTON,
};

// Elements 0-9 graphs, 10-29 value texts, 30-39 bars, 40-49 buttons.
Role roleOf(int element)
{
    return element < 10 ? GRAPH : element < 30 ? VALUE : element < 40 ? BAR : BUTTON;
}

GNP2::Packet* timePacket(float t)
{
    GNP2::Packet* packet = addressed(TIME_OBJECT, TYPE_TimePacket);
    packet->setFloatVector(item::time::Time, {t});
    return packet;
}

GNP2::Packet* hudCreation(int element)
{
    GNP2::Packet* packet = addressed(element, TYPE_VisHUDObject);
    packet->setFloatVector(item::hud::Position,
                           {float(element % 5) * 250.f, float(element / 5) * 90.f});
    packet->setFloatVector(item::hud::Rotation, {0.f});
    switch (roleOf(element)) {
    case GRAPH:
        packet->setIntVector(item::hud::Element, {VisHUDObject::GRAPH});
        packet->setFloatVector(item::hud::Size, {300.f, 80.f});
        packet->setIntVector(item::hud::Colour, {80, 220, 255});
        break;
    case VALUE:
        packet->setIntVector(item::hud::Element, {VisHUDObject::VALUE_TEXT});
        packet->setString(item::hud::FileName, "arial.ttf");
        packet->setFloatVector(item::hud::Size, {20.f});
        packet->setString(item::hud::Text, "Value");
        packet->setFloatVector(item::hud::Value, {0.f});
        break;
    case BAR:
        packet->setIntVector(item::hud::Element, {VisHUDObject::BAR});
        packet->setFloatVector(item::hud::Size, {200.f, 12.f});
        break;
    case BUTTON:
        packet->setIntVector(item::hud::Element, {VisHUDObject::BUTTON});
        packet->setFloatVector(item::hud::Size, {80.f, 40.f});
        packet->setFloatVector(item::hud::Value, {1.f});
        break;
    }
    return packet;
}

// The packet of one element in the step at time t.
GNP2::Packet* hudUpdate(int element, float t)
{
    GNP2::Packet* packet = addressed(element, TYPE_VisHUDObject);
    const float wave = std::sin(t * 3.f + float(element));
    if (roleOf(element) == BUTTON)
        packet->setFloatVector(item::hud::Position, {float(element % 5) * 250.f + 20.f * wave,
                                                     float(element / 5) * 90.f, 0.f});
    else
        packet->setFloatVector(item::hud::Value,
                               {roleOf(element) == VALUE ? std::round(wave * 1000.f) : wave});
    return packet;
}

GNP2::Packet* bareCreation(int element)
{
    GNP2::Packet* packet = addressed(element, TYPE_VisBaseObject);
    packet->setFloatVector(item::shape::Position, {float(element), 0.f, 0.f});
    return packet;
}

GNP2::Packet* bareUpdate(int element, float t)
{
    GNP2::Packet* packet = addressed(element, TYPE_VisBaseObject);
    packet->setFloatVector(item::shape::Position,
                           {float(element), std::sin(t * 3.f + float(element)), 0.f});
    return packet;
}

// Seconds of simulation: per step a time packet and one packet per element.
template <typename Create, typename Update>
void simulate(benchmark::State& state, const ObjectFactory& factory, Create create, Update update)
{
    Scene scene(factory);
    scene.feed(nullptr, ELEMENTS, create);
    std::int64_t packets = 0, seconds = 0;
    int step = 0;
    for (auto _ : state) {
        for (int s = 0; s < STEPS_PER_SECOND; ++s, ++step) {
            const float t = float(step) / float(STEPS_PER_SECOND);
            scene.feed(&state, ELEMENTS + 1,
                       [&](int i) { return i == 0 ? timePacket(t) : update(i - 1, t); });
            packets += ELEMENTS + 1;
        }
        ++seconds;
    }
    state.counters["sim s/s"] = benchmark::Counter(double(seconds), benchmark::Counter::kIsRate);
    state.counters["packets/s"] = benchmark::Counter(double(packets), benchmark::Counter::kIsRate);
}

void BM_HudSecond(benchmark::State& state)
{
    ObjectFactory factory;
    registerHudObjects(factory);
    simulate(state, factory, hudCreation, hudUpdate);
}

void BM_BareSecond(benchmark::State& state)
{
    simulate(state, bench::bareFactory(), bareCreation, bareUpdate);
}

void BM_GraphAddValue(benchmark::State& state)
{
    const int points = int(state.range(0));
    double now = 0.0;
    // Every sample 10 ms after the last: one unit of scrolling each.
    osg::ref_ptr<HUDGraph> graph = new HUDGraph(float(points), 100.f, [&] { return now; });
    int sample = 0;
    const auto add = [&] {
        now += 0.01;
        graph->addValue(std::sin(float(++sample) * 0.05f));
    };
    for (int i = 0; i < points + 200; ++i)
        add();
    for (auto _ : state)
        add();
    if (graph->data()->pointCount() < std::size_t(points))
        state.SkipWithError("the graph does not show the points it should");
    state.counters["points"] = double(graph->data()->pointCount());
    state.SetComplexityN(points);
}

} // namespace

BENCHMARK(BM_BareSecond)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HudSecond)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GraphAddValue)
    ->RangeMultiplier(10)
    ->Range(100, 10000)
    ->Unit(benchmark::kMicrosecond)
    ->Complexity(benchmark::oN);
