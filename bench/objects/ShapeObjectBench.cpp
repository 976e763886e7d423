// Shape objects created and moved through the object manager's update
// callback, fed by the real receive ring:
//  - BM_CreateShapes: 10,000 objects of the eleven shape kinds in turn (type
//    code 2), each from one complete packet (kind, position, scale, shape
//    parameters, colour); reports objects/s.
//  - BM_MoveShapes: 10,000 updates of item 1 on those objects; updates/s.
//  - BM_CreateKind/k: 1,000 objects of kind k alone.
// Baseline in the same run: the same packets applied to a bare object that
// only merges them and places its transform (BM_CreateBare, BM_MoveBare), so
// the ratios give what the shapes themselves cost. Rates are per second of
// processor time: the work is one thread's, and a shared machine stretches
// wall time.
//   bench_objects --benchmark_counters_tabular=true
#include <cstdint>

#include "BenchScene.h"
#include "objects/ShapeObjects.h"

namespace {

constexpr int OBJECTS = 10000;
constexpr int PER_CONNECTION = 4096; // object numbers have 12 bits

using bench::bareFactory;
using bench::Scene;

GNP2::Packet* addressed(int index)
{
    auto* packet = new GNP2::Packet;
    packet->setHeader(GNP2::makeHeader(std::uint32_t(index % PER_CONNECTION), TYPE_VisBaseObject));
    packet->setIntVector(13, {index / PER_CONNECTION});
    return packet;
}

GNP2::Packet* creationOfKind(int index, int kind)
{
    GNP2::Packet* packet = addressed(index);
    packet->setIntVector(5, {kind});
    packet->setFloatVector(1, {float(index % 100), float(index / 100), 0.f});
    packet->setFloatVector(4, {1.f, 0.3f, 0.2f});
    switch (kind) {
    case 7: // spring: windings, wire radius
        packet->setFloatVector(11, {5.f, 0.02f});
        break;
    case 8: // gear: ring parameter, teeth, angle
        packet->setFloatVector(11, {0.3f, 16.f, 10.f});
        break;
    case 9: // pipe: bore, end ratio
        packet->setFloatVector(11, {0.f, 0.6f, 0.8f});
        break;
    case 10: // grid: spacing
        packet->setFloatVector(11, {0.1f});
        break;
    default:
        break;
    }
    packet->setIntVector(44, {200, 100, 50});
    return packet;
}

GNP2::Packet* creation(int index)
{
    return creationOfKind(index, 1 + index % 11);
}

GNP2::Packet* move(int index, float t)
{
    GNP2::Packet* packet = addressed(index);
    packet->setFloatVector(1, {float(index % 100), float(index / 100), t});
    return packet;
}

ObjectFactory shapeFactory()
{
    ObjectFactory factory;
    registerShapeObjects(factory);
    return factory;
}

void create(benchmark::State& state, const ObjectFactory& factory, int count,
            const std::function<GNP2::Packet*(int)>& make)
{
    std::int64_t created = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto scene = std::make_unique<Scene>(factory);
        state.ResumeTiming();
        scene->feed(&state, count, make);
        state.PauseTiming();
        if (scene->root->getNumChildren() != unsigned(count))
            state.SkipWithError("not every packet created an object");
        scene.reset();
        state.ResumeTiming();
        created += count;
    }
    state.counters["objects/s"] = benchmark::Counter(double(created), benchmark::Counter::kIsRate);
}

void moveAll(benchmark::State& state, const ObjectFactory& factory)
{
    Scene scene(factory);
    scene.feed(nullptr, OBJECTS, creation);
    std::int64_t updates = 0;
    float t = 0.f;
    for (auto _ : state) {
        t += 0.01f;
        scene.feed(&state, OBJECTS, [t](int i) { return move(i, t); });
        updates += OBJECTS;
    }
    state.counters["updates/s"] = benchmark::Counter(double(updates), benchmark::Counter::kIsRate);
}

void BM_CreateShapes(benchmark::State& state)
{
    create(state, shapeFactory(), OBJECTS, creation);
}

void BM_CreateBare(benchmark::State& state)
{
    create(state, bareFactory(), OBJECTS, creation);
}

// One kind at a time (the argument), 1,000 objects: where the time of the
// mixed creation goes.
void BM_CreateKind(benchmark::State& state)
{
    const int kind = int(state.range(0));
    create(state, shapeFactory(), 1000, [kind](int i) { return creationOfKind(i, kind); });
}

void BM_MoveShapes(benchmark::State& state)
{
    moveAll(state, shapeFactory());
}

void BM_MoveBare(benchmark::State& state)
{
    moveAll(state, bareFactory());
}

} // namespace

BENCHMARK(BM_CreateBare)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CreateShapes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CreateKind)->DenseRange(1, 11)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MoveBare)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MoveShapes)->Unit(benchmark::kMillisecond);
