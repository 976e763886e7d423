// Packets applied per second by the scene root's update callback: 4096
// moving objects receiving position updates (time, position and connection)
// through the real receive ring. Baseline in the same run: the same number of
// packet merges alone (GNP2::Packet::update into 4096 state packets).
//   bench_objectmanager --benchmark_counters_tabular=true
// Ratio = BM_ApplyThroughCallback packets/s / BM_MergeOnly packets/s.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "gnp2/Packet.h"
#include "net/PacketRing.h"
#include "protocol/Items.h"
#include "scene/ObjectKinds.h"
#include "scene/RootnodeUpdateCallback.h"
#include "tests/support/BareObject.h"

namespace {

constexpr int OBJECTS = 4096;
constexpr int BATCH = 999; // a full ring

using testsupport::BareObject;

GNP2::Packet* positionUpdate(int objectNumber, float t)
{
    auto* p = new GNP2::Packet;
    p->setHeader(GNP2::makeHeader(std::uint32_t(objectNumber), TYPE_VisBaseObject));
    p->setFloatVector(item::every::Time, {t});
    p->setFloatVector(item::shape::Position, {t, float(objectNumber), 0.f});
    p->setIntVector(item::every::Connection, {0});
    return p;
}

void setCounters(benchmark::State& state, std::int64_t packets)
{
    state.counters["packets/s"] = benchmark::Counter(double(packets), benchmark::Counter::kIsRate);
}

void BM_ApplyThroughCallback(benchmark::State& state)
{
    PacketRing receive, send;
    ObjectFactory factory;
    factory.add(TYPE_VisBaseObject, [](const ObjectContext&) { return new BareObject; });
    osg::ref_ptr<osg::Group> scene = new osg::Group, hud = new osg::Group;
    osg::ref_ptr<rootnodeUpdateCallback> callback =
        new rootnodeUpdateCallback(receive, send, factory, scene.get(), hud.get());
    // Create every object once, outside the measurement.
    for (int i = 0; i < OBJECTS; i += BATCH) {
        for (int j = i; j < std::min(OBJECTS, i + BATCH); ++j)
            receive.push(positionUpdate(j, 0.f));
        while (!receive.empty())
            callback->runOnce();
    }

    std::int64_t packets = 0;
    int next = 0;
    float t = 0.f;
    for (auto _ : state) {
        state.PauseTiming();
        for (int i = 0; i < BATCH; ++i) {
            receive.push(positionUpdate(next, t));
            next = (next + 1) % OBJECTS;
        }
        t += 0.01f;
        state.ResumeTiming();
        while (!receive.empty())
            callback->runOnce();
        packets += BATCH;
    }
    setCounters(state, packets);
}

void BM_MergeOnly(benchmark::State& state)
{
    std::vector<std::unique_ptr<GNP2::Packet>> states(OBJECTS);
    for (int i = 0; i < OBJECTS; ++i) {
        states[std::size_t(i)] = std::make_unique<GNP2::Packet>();
        std::unique_ptr<GNP2::Packet> first(positionUpdate(i, 0.f));
        states[std::size_t(i)]->update(*first);
    }
    std::vector<GNP2::Packet*> batch(BATCH);
    std::int64_t packets = 0;
    int next = 0;
    float t = 0.f;
    for (auto _ : state) {
        state.PauseTiming();
        int start = next;
        for (int i = 0; i < BATCH; ++i) {
            batch[std::size_t(i)] = positionUpdate(next, t);
            next = (next + 1) % OBJECTS;
        }
        t += 0.01f;
        state.ResumeTiming();
        for (int i = 0; i < BATCH; ++i) {
            states[std::size_t((start + i) % OBJECTS)]->update(*batch[std::size_t(i)]);
            delete batch[std::size_t(i)];
        }
        packets += BATCH;
    }
    setCounters(state, packets);
}

} // namespace

BENCHMARK(BM_MergeOnly)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ApplyThroughCallback)->Unit(benchmark::kMicrosecond);
