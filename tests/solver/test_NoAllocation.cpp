// The solver family takes all its memory from the caller: no call may
// reach the global allocator, whatever path the problem takes.

#include "LseiTestSupport.h"

#include "flex/solver/LeastSquaresFactor.h"
#include "flex/solver/Lsei.h"
#include "flex/solver/Wnnls.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

namespace {
std::atomic<long> gAllocations{0};
} // namespace

void* operator new(std::size_t size)
{
    gAllocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}

// The replacement new above takes its memory from malloc.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept
{
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
#pragma GCC diagnostic pop

namespace {

using flextest::Problem;

// One problem per path: square, rank-deficient, equalities with dependent
// rows, inequalities with free directions, contradictory ones, covariance.
TEST(LseiMemory, NoAllocationOnAnyPath)
{
    const flextest::Rows u4 = {{1, 0, 1, 1}, {0, 1, 1, 2}, {1, 1, 2, 3}, {1, -1, 0, 4}};
    struct Run
    {
        Problem problem;
        std::vector<double> options;
    };
    const std::vector<Run> runs = {
        {{{}, {{4, -2, 1, 3}, {-2, 4, -2, 0}, {1, -2, 4, 9}}, {}, 3}, {1.0}},
        {{{}, u4, {}, 3}, {4, 1, 1, 1}},
        {{{{1, 1, 0, 1}, {2, 2, 0, 2}}, u4, {{0, 1, 0, 0.5}}, 3}, {4, 1, 1, 1}},
        {{{}, {{1, 0, 3}}, {{0, 1, 1}, {0, -1, -2}, {-1, -1, -3.5}}, 2}, {4, 2, 1, 1}},
        {{{{1, 1, 1}, {1, 1, 3}}, {}, {{1, 0, 1}, {-1, 0, 0}}, 2}, {1.0}},
    };
    for (const Run& run : runs) {
        const Problem& p = run.problem;
        std::vector<double> w = p.matrix(std::max(p.m(), p.n));
        std::vector<double> x(static_cast<size_t>(p.n));
        std::vector<double> ws(
            static_cast<size_t>(flex::lseiWorkLength(p.me(), p.ma(), p.mg(), p.n)));
        std::vector<int> ip(static_cast<size_t>(flex::lseiIntWorkLength(p.mg(), p.n)));
        double rnorme = 0.0;
        double rnorml = 0.0;
        int mode = -1;
        const int mdw = std::max(p.m(), p.n);
        const int lws = static_cast<int>(ws.size());
        const int lip = static_cast<int>(ip.size());
        const long before = gAllocations.load();
        flex::dlsei(w.data(), mdw, p.me(), p.ma(), p.mg(), p.n, run.options.data(), x.data(),
                    rnorme, rnorml, mode, ws.data(), ip.data(), lws, lip);
        EXPECT_EQ(gAllocations.load(), before);
        EXPECT_LE(mode, 3);
    }
}

TEST(LseiMemory, ReusedFactorisationSolvesWithoutAllocation)
{
    const std::vector<double> a = {4, -2, 1, -2, 4, -2, 1, -2, 4};
    flex::LeastSquaresFactor factor;
    factor.factor(a, 3, 3, 3);
    const std::vector<double> b = {3, 0, 9};
    std::vector<double> x(3);
    const long before = gAllocations.load();
    factor.solve(b, x);
    EXPECT_EQ(gAllocations.load(), before);
    EXPECT_NEAR(x[2], 3.0, 1e-14);
}

} // namespace
