// The flexible bodies' hot path: every update moves every vertex by N node
// influences. Deform/* move V = 100,000 vertices for N = 256 and 1,000
// nodes; the counter "pairs/s" is vertex-node pairs per second. Baselines
// in the same run:
//   MemoryCopy     copying the vertex array (the floor);
//   Naive          the formula one vertex after the other, the kernel
//                  computed on the fly and summed in node order (the
//                  ceiling to beat);
//   KernelArray    the formula over a precomputed V x N kernel array, the
//                  sums in node order (V x N x 4 bytes: 400 MB at N = 1000);
//   Fused/1        the processor back-end's pass on one thread;
//   Fused          the processor back-end as bodies run it (all cores).
// Update/* time the three solves of an update: Fresh solves the whole
// bordered system with the constrained least-squares routine per axis (as
// written), Factored reuses the factorisation the interpolator made once.
// Update/Whole adds the deformation of the 100,000 vertices.
// Deform/OpenCL and Deform/CUDA are the device back-ends on the same body
// (the kernel array cached, as from a body's second update on): OpenCL on
// whatever device the machine has (PoCL's processor device where there is
// no GPU), CUDA only where a device answers (else reported as skipped).
//
// Surface/* rewrite a 256 x 256 flexible surface: Update its vertices and
// normals, UpdateColours with the per-vertex colours too; MemoryCopy and
// MemoryCopyColours copy arrays of the same sizes (the floor).

#include "flex/CublasDeformation.h"
#include "flex/DeformationInterpolator.h"
#include "flex/FlexibleSurface.h"
#include "flex/OpenCLDeformation.h"
#include "flex/ProcessorDeformation.h"
#include "flex/solver/Lsei.h"

#include <benchmark/benchmark.h>

#include <osg/Geometry>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr std::size_t VERTICES = 100000;

osg::ref_ptr<osg::Vec3Array> randomPoints(std::size_t count, unsigned seed, float scale)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> u(-scale, scale);
    osg::ref_ptr<osg::Vec3Array> points = new osg::Vec3Array;
    points->reserve(count);
    for (std::size_t i = 0; i < count; ++i)
        points->push_back(osg::Vec3(u(rng), u(rng), u(rng)));
    return points;
}

struct Body
{
    osg::ref_ptr<osg::Vec3Array> nodes;
    osg::ref_ptr<osg::Vec3Array> displacements;
    std::unique_ptr<DeformationInterpolator> field;
    osg::ref_ptr<osg::Vec3Array> source;
    osg::ref_ptr<osg::Vec3Array> target;

    explicit Body(std::size_t n)
        : nodes(randomPoints(n, unsigned(n), 1.0f)),
          displacements(randomPoints(n, unsigned(n) + 1, 0.1f)),
          field(std::make_unique<DeformationInterpolator>(nodes, displacements)),
          source(randomPoints(VERTICES, 7, 1.2f)), target(new osg::Vec3Array(VERTICES))
    {
        field->solve();
    }
};

void countPairs(benchmark::State& state, std::size_t n)
{
    state.counters["pairs/s"] = benchmark::Counter(double(VERTICES) * double(n),
                                                   benchmark::Counter::kIsIterationInvariantRate);
}

void memoryCopy(benchmark::State& state)
{
    const Body body(std::size_t(state.range(0)));
    for (auto _ : state) {
        std::memcpy(&body.target->front(), &body.source->front(), VERTICES * sizeof(osg::Vec3f));
        benchmark::DoNotOptimize(&body.target->front());
        benchmark::ClobberMemory();
    }
}

void naive(benchmark::State& state)
{
    const std::size_t n = std::size_t(state.range(0));
    const Body body(n);
    const DeformationInterpolator& f = *body.field;
    const std::vector<float>& w = f.weights();
    for (auto _ : state) {
        for (std::size_t v = 0; v < VERTICES; ++v) {
            const osg::Vec3f p = (*body.source)[v];
            osg::Vec3f sum;
            for (std::size_t j = 0; j < n; ++j) {
                const float k = cubedDistance(p, (*body.nodes)[j]);
                for (int a = 0; a < 3; ++a)
                    sum[a] += k * w[3 * j + std::size_t(a)];
            }
            for (int a = 0; a < 3; ++a)
                (*body.target)[v][a] = p[a] + (f.lx()[a] * p.x() + f.ly()[a] * p.y() +
                                               f.lz()[a] * p.z() + sum[a] + f.c()[a]);
        }
        benchmark::DoNotOptimize(&body.target->front());
    }
    countPairs(state, n);
}

void kernelArray(benchmark::State& state)
{
    const std::size_t n = std::size_t(state.range(0));
    Body body(n);
    osg::ref_ptr<osg::Geometry> key = new osg::Geometry;
    const std::vector<float>& kernel = body.field->kernelArray(key.get(), *body.source);
    for (auto _ : state) {
        flex::deformWithKernel(kernel.data(), *body.field, &body.source->front(),
                               &body.target->front(), VERTICES);
        benchmark::DoNotOptimize(&body.target->front());
    }
    countPairs(state, n);
    state.counters["MB kept"] = double(kernel.size() * sizeof(float)) / 1e6;
}

void fused(benchmark::State& state, unsigned threads)
{
    const std::size_t n = std::size_t(state.range(0));
    const Body body(n);
    flex::FieldNodes field;
    field.assign(*body.field);
    for (auto _ : state) {
        flex::deformFused(field, &body.source->front(), &body.target->front(), VERTICES, threads);
        benchmark::DoNotOptimize(&body.target->front());
    }
    countPairs(state, n);
    state.SetLabel(flex::fusedInstructionSet());
}

void fusedOneThread(benchmark::State& state)
{
    fused(state, 1);
}

void fusedAllThreads(benchmark::State& state)
{
    fused(state, 0);
}

void solveFresh(benchmark::State& state)
{
    const Body body(std::size_t(state.range(0)));
    const int n = body.field->nodeCount() + 4;
    std::vector<double> system[3];
    for (int axis = 0; axis < 3; ++axis)
        body.field->fillSystem(axis, system[axis]);
    std::vector<double> w(system[0].size());
    std::vector<double> x(static_cast<std::size_t>(n));
    std::vector<double> ws(std::size_t(5 * n + 14));
    std::vector<int> ip(std::size_t(2 * n + 2));
    const double options[] = {1.0};
    const int zero = 0, lws = int(ws.size()), lip = int(ip.size());
    double rnorme = 0, rnorml = 0;
    int mode = 0;
    for (auto _ : state) {
        for (const std::vector<double>& axis : system) {
            std::memcpy(w.data(), axis.data(), axis.size() * sizeof(double));
            flex::dlsei(w.data(), n, zero, n, zero, n, options, x.data(), rnorme, rnorml, mode,
                        ws.data(), ip.data(), lws, lip);
            benchmark::DoNotOptimize(x.data());
        }
    }
}

void solveFactored(benchmark::State& state)
{
    Body body(std::size_t(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(body.field->solve());
}

void wholeUpdate(benchmark::State& state)
{
    Body body(std::size_t(state.range(0)));
    flex::FieldNodes field;
    for (auto _ : state) {
        body.field->solve();
        field.assign(*body.field);
        flex::deformFused(field, &body.source->front(), &body.target->front(), VERTICES);
        benchmark::DoNotOptimize(&body.target->front());
    }
}

void device(benchmark::State& state, DeformationBackend& backend, bool started,
            const std::string& error)
{
    if (!started) {
        state.SkipWithError(error.c_str());
        return;
    }
    const std::size_t n = std::size_t(state.range(0));
    Body body(n);
    osg::ref_ptr<osg::Geometry> geometry = new osg::Geometry;
    geometry->setVertexArray(body.source.get());
    // The kernel array is made once per geometry, before the timing.
    body.field->kernelArray(geometry.get(), *body.source);
    for (auto _ : state) {
        backend.deform(*body.field, *geometry, *body.source, *body.target);
        benchmark::DoNotOptimize(&body.target->front());
    }
    countPairs(state, n);
}

void openCL(benchmark::State& state)
{
    OpenCLDeformation backend;
    const bool started = backend.start();
    device(state, backend, started, backend.error());
}

void cuda(benchmark::State& state)
{
    CublasDeformation backend;
    const bool started = backend.start();
    device(state, backend, started, backend.error());
}

constexpr int GRID = 256;
constexpr std::size_t GRID_VERTICES = std::size_t(GRID) * GRID;

struct Sheet
{
    std::vector<float> x, y, z;
    std::vector<int> colours;
    osg::ref_ptr<FlexibleSurface> surface;

    Sheet() : x(GRID_VERTICES), y(GRID_VERTICES), z(GRID_VERTICES), colours(GRID_VERTICES)
    {
        for (std::size_t k = 0; k < GRID_VERTICES; ++k) {
            x[k] = float(k % GRID);
            y[k] = float(k / GRID);
            z[k] = std::sin(0.1f * x[k]) * std::cos(0.07f * y[k]);
            colours[k] = int(k % 256) * 1000000 + 128000 + 255;
        }
        surface = new FlexibleSurface(GRID, GRID, x.data(), y.data(), z.data(), false, "");
    }
};

void surfaceUpdate(benchmark::State& state)
{
    Sheet sheet;
    for (auto _ : state) {
        sheet.surface->setVertices(sheet.x.data(), sheet.y.data(), sheet.z.data());
        benchmark::DoNotOptimize(&sheet.surface->normals().front());
    }
}

void surfaceUpdateColours(benchmark::State& state)
{
    Sheet sheet;
    for (auto _ : state) {
        sheet.surface->setVerticesAndColors(sheet.x.data(), sheet.y.data(), sheet.z.data(),
                                            sheet.colours.data());
        benchmark::DoNotOptimize(&sheet.surface->colors().front());
    }
}

// The arrays an update writes, copied: vertices and normals (and colours).
void surfaceCopy(benchmark::State& state, bool colours)
{
    const std::vector<float> from(GRID_VERTICES * (colours ? 10 : 6), 1.0f);
    std::vector<float> to(from.size());
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), from.size() * sizeof(float));
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
}

void surfaceMemoryCopy(benchmark::State& state)
{
    surfaceCopy(state, false);
}

void surfaceMemoryCopyColours(benchmark::State& state)
{
    surfaceCopy(state, true);
}

void nodeCounts(benchmark::internal::Benchmark* b)
{
    b->Arg(256)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime();
}

} // namespace

BENCHMARK(memoryCopy)->Name("Deform/MemoryCopy")->Apply(nodeCounts);
BENCHMARK(naive)->Name("Deform/Naive")->Apply(nodeCounts);
BENCHMARK(kernelArray)->Name("Deform/KernelArray")->Apply(nodeCounts);
BENCHMARK(fusedOneThread)->Name("Deform/Fused/1")->Apply(nodeCounts);
BENCHMARK(fusedAllThreads)->Name("Deform/Fused")->Apply(nodeCounts);
BENCHMARK(openCL)->Name("Deform/OpenCL")->Apply(nodeCounts);
BENCHMARK(cuda)->Name("Deform/CUDA")->Apply(nodeCounts);
BENCHMARK(surfaceMemoryCopy)->Name("Surface/MemoryCopy")->Unit(benchmark::kMicrosecond);
BENCHMARK(surfaceUpdate)->Name("Surface/Update")->Unit(benchmark::kMicrosecond);
BENCHMARK(surfaceMemoryCopyColours)
    ->Name("Surface/MemoryCopyColours")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(surfaceUpdateColours)->Name("Surface/UpdateColours")->Unit(benchmark::kMicrosecond);
BENCHMARK(solveFresh)->Name("Update/Fresh")->Apply(nodeCounts);
BENCHMARK(solveFactored)->Name("Update/Factored")->Apply(nodeCounts);
BENCHMARK(wholeUpdate)->Name("Update/Whole")->Apply(nodeCounts);
