// Packet decode, encode and merge at stream rate, each against a memcpy of
// the same bytes measured in the same run:
//   bench_gnp2 --benchmark_counters_tabular=true
// The "packets/s" counter of each Parse/Serialize/Merge row divided by that
// of the matching Memcpy row gives the ratio.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "gnp2/Packet.h"

namespace {

enum Shape
{
    Update3D = 0, // items 0, 1, 3, 13: a typical moving-object update
    Surface = 1,  // three items of 10,000 floats
    State3D = 2,  // items 0, 1, 3, 4, 5, 13, 44: a shape's state as it is recorded
};

GNP2::Packet* makePacket(Shape shape, float phase)
{
    auto* p = new GNP2::Packet;
    p->setHeader(GNP2::makeHeader(17, 2));
    p->setFloatVector(0, {phase});
    p->setIntVector(13, {0});
    if (shape == Update3D || shape == State3D) {
        p->setFloatVector(1, {phase, 2.f, 3.f});
        p->setFloatVector(3, {1.f, 0.f, 0.f, 0.f, 1.f, phase});
    }
    if (shape == State3D) {
        p->setFloatVector(4, {0.5f, 0.5f, 0.5f});
        p->setIntVector(5, {1});
        p->setIntVector(44, {200, 120, 40});
    }
    if (shape == Surface) {
        std::vector<float> values(10000);
        for (int item : {50, 51, 52}) {
            for (std::size_t i = 0; i < values.size(); ++i)
                values[i] = phase + float(i) * 0.001f + float(item);
            p->setFloatVector(item, values);
        }
    }
    return p;
}

std::vector<unsigned char> frameOf(Shape shape, float phase)
{
    GNP2::Packet* p = makePacket(shape, phase);
    std::vector<unsigned char> frame(p->serializedSize());
    p->serialize(frame.data());
    delete p;
    return frame;
}

void setCounters(benchmark::State& state, std::size_t bytes)
{
    state.counters["packets/s"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    state.SetBytesProcessed(std::int64_t(state.iterations() * bytes));
}

// Baseline: copying the frame's bytes into a fresh buffer.
void BM_Memcpy(benchmark::State& state)
{
    const auto frame = frameOf(Shape(state.range(0)), 1.f);
    std::vector<unsigned char> out(frame.size());
    for (auto _ : state) {
        std::memcpy(out.data(), frame.data(), frame.size());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    setCounters(state, frame.size());
}

// Decode into a new packet and free it, as the receive thread and the
// consumer do for every frame.
void BM_Parse(benchmark::State& state)
{
    const auto frame = frameOf(Shape(state.range(0)), 1.f);
    for (auto _ : state) {
        auto* p = new GNP2::Packet;
        benchmark::DoNotOptimize(p->parse(frame.data() + 4, frame.size() - 4).ok());
        delete p;
    }
    setCounters(state, frame.size());
}

void BM_Serialize(benchmark::State& state)
{
    GNP2::Packet* p = makePacket(Shape(state.range(0)), 1.f);
    std::vector<unsigned char> out(p->serializedSize());
    for (auto _ : state) {
        // Sized first, as a writer does to know that the frame fits.
        benchmark::DoNotOptimize(p->serializedSize());
        benchmark::DoNotOptimize(p->serialize(out.data()));
        benchmark::ClobberMemory();
    }
    setCounters(state, out.size());
    delete p;
}

// Merge alternating packets into a state packet, so every item changes.
void BM_Merge(benchmark::State& state)
{
    GNP2::Packet* a = makePacket(Shape(state.range(0)), 1.f);
    GNP2::Packet* b = makePacket(Shape(state.range(0)), 2.f);
    GNP2::Packet stateVector;
    bool flip = false;
    for (auto _ : state) {
        stateVector.update(flip ? *a : *b);
        flip = !flip;
        benchmark::ClobberMemory();
    }
    setCounters(state, a->serializedSize());
    delete a;
    delete b;
}

} // namespace

BENCHMARK(BM_Memcpy)->Arg(Update3D)->Arg(Surface)->Arg(State3D);
BENCHMARK(BM_Parse)->Arg(Update3D)->Arg(Surface);
BENCHMARK(BM_Serialize)->Arg(Update3D)->Arg(Surface)->Arg(State3D);
BENCHMARK(BM_Merge)->Arg(Update3D)->Arg(Surface);
