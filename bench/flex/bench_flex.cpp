// Solve time of the flexible bodies' bordered interpolation system
// [K P; P^T 0] (N nodes, N+4 unknowns, square: ME = MG = 0, MA = N+4) with
// the constrained least-squares routine, against Eigen's column-pivoting
// Householder QR on the same system in the same run. The "SecondSide"
// pairs time one more right-hand side with the factorisation kept.

#include "flex/solver/LeastSquaresFactor.h"
#include "flex/solver/Lsei.h"

#include <Eigen/Dense>
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace {

struct System
{
    int n = 0;
    Eigen::MatrixXd a;
    Eigen::VectorXd b;
};

// N random nodes in the unit cube with random values.
System bordered(int nodes)
{
    std::mt19937 rng(static_cast<unsigned>(nodes));
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::vector<Eigen::Vector3d> p(static_cast<size_t>(nodes));
    for (auto& q : p)
        q = {u(rng), u(rng), u(rng)};
    System s;
    s.n = nodes + 4;
    s.a = Eigen::MatrixXd::Zero(s.n, s.n);
    s.b = Eigen::VectorXd::Zero(s.n);
    for (int i = 0; i < nodes; ++i) {
        for (int j = 0; j < nodes; ++j)
            s.a(i, j) = (p[i] - p[j]).norm();
        s.a(i, nodes) = s.a(nodes, i) = 1.0;
        for (int c = 0; c < 3; ++c)
            s.a(i, nodes + 1 + c) = s.a(nodes + 1 + c, i) = p[i][c];
        s.b(i) = 0.1 * (u(rng) - 0.5);
    }
    return s;
}

void lseiSolve(benchmark::State& state)
{
    const System s = bordered(static_cast<int>(state.range(0)));
    const int n = s.n;
    std::vector<double> w(static_cast<size_t>(n) * (n + 1));
    std::vector<double> x(static_cast<size_t>(n));
    std::vector<double> ws(static_cast<size_t>(flex::lseiWorkLength(0, n, 0, n)));
    std::vector<int> ip(static_cast<size_t>(flex::lseiIntWorkLength(0, n)));
    const double options[] = {1.0};
    const int zero = 0;
    const int lws = static_cast<int>(ws.size());
    const int lip = static_cast<int>(ip.size());
    double rnorme = 0.0;
    double rnorml = 0.0;
    int mode = 0;
    for (auto _ : state) {
        std::memcpy(w.data(), s.a.data(), sizeof(double) * static_cast<size_t>(n) * n);
        std::memcpy(w.data() + static_cast<size_t>(n) * n, s.b.data(), sizeof(double) * n);
        flex::dlsei(w.data(), n, zero, n, zero, n, options, x.data(), rnorme, rnorml, mode,
                    ws.data(), ip.data(), lws, lip);
        benchmark::DoNotOptimize(x.data());
    }
    if (mode != 0)
        state.SkipWithError("MODE is not 0");
}

void eigenSolve(benchmark::State& state)
{
    const System s = bordered(static_cast<int>(state.range(0)));
    Eigen::ColPivHouseholderQR<Eigen::MatrixXd> qr(s.n, s.n);
    Eigen::VectorXd x(s.n);
    for (auto _ : state) {
        qr.compute(s.a);
        x = qr.solve(s.b);
        benchmark::DoNotOptimize(x.data());
    }
}

void lseiSecondSide(benchmark::State& state)
{
    const System s = bordered(static_cast<int>(state.range(0)));
    flex::LeastSquaresFactor factor;
    factor.factor(std::span<const double>(s.a.data(), static_cast<size_t>(s.a.size())), s.n, s.n,
                  s.n);
    std::vector<double> x(static_cast<size_t>(s.n));
    for (auto _ : state) {
        factor.solve(std::span<const double>(s.b.data(), static_cast<size_t>(s.n)), x);
        benchmark::DoNotOptimize(x.data());
    }
}

void eigenSecondSide(benchmark::State& state)
{
    const System s = bordered(static_cast<int>(state.range(0)));
    Eigen::ColPivHouseholderQR<Eigen::MatrixXd> qr(s.a);
    Eigen::VectorXd x(s.n);
    for (auto _ : state) {
        x = qr.solve(s.b);
        benchmark::DoNotOptimize(x.data());
    }
}

} // namespace

BENCHMARK(lseiSolve)
    ->Name("Bordered/Lsei")
    ->Arg(64)
    ->Arg(256)
    ->Arg(1000)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(eigenSolve)
    ->Name("Bordered/EigenColPivQR")
    ->Arg(64)
    ->Arg(256)
    ->Arg(1000)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(lseiSecondSide)
    ->Name("SecondSide/Lsei")
    ->Arg(64)
    ->Arg(256)
    ->Arg(1000)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(eigenSecondSide)
    ->Name("SecondSide/EigenColPivQR")
    ->Arg(64)
    ->Arg(256)
    ->Arg(1000)
    ->Unit(benchmark::kMicrosecond);
