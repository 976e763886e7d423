// The weighted non-negative least-squares routine on its own: its checks
// and messages, optimality on random problems, equality rows (projection
// onto the simplex, a pair that can only move together) and its options.

#include "flex/solver/Wnnls.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <numeric>
#include <random>
#include <string>
#include <vector>

namespace {

struct Result
{
    std::vector<double> x;
    double rnorm = -1.0;
    int mode = -1;
    std::string output;
};

// Calls dwnnls on W (column-major, mdw rows) with exactly the minimum work
// lengths unless told otherwise.
Result run(std::vector<double> w, int mdw, int me, int ma, int n, int l,
           const std::vector<double>& options = {1.0}, int workDelta = 0, int iworkDelta = 0)
{
    Result r;
    r.x.assign(static_cast<size_t>(std::max(n, 1)), 7.0);
    const int lwork = me + ma + 5 * n;
    const int liwork = me + ma + n;
    std::vector<double> work(static_cast<size_t>(std::max(lwork, 1) + 8));
    std::vector<int> iwork(static_cast<size_t>(std::max(liwork, 2) + 8));
    iwork[0] = lwork + workDelta;
    iwork[1] = liwork + iworkDelta;
    testing::internal::CaptureStdout();
    flex::dwnnls(w.data(), mdw, me, ma, n, l, options.data(), r.x.data(), r.rnorm, r.mode,
                 iwork.data(), work.data());
    r.output = testing::internal::GetCapturedStdout();
    return r;
}

struct WnnlsUsageCase
{
    std::string name;
    int me, ma, n, l, mdw, workDelta, iworkDelta;
    std::vector<double> options;
    std::string message;
};

void PrintTo(const WnnlsUsageCase& c, std::ostream* os)
{
    *os << c.name;
}

class WnnlsUsage : public testing::TestWithParam<WnnlsUsageCase>
{
};

TEST_P(WnnlsUsage, ReportsAndReturnsModeTwo)
{
    const WnnlsUsageCase& c = GetParam();
    const Result r = run(std::vector<double>(64, 1.0), c.mdw, c.me, c.ma, c.n, c.l, c.options,
                         c.workDelta, c.iworkDelta);
    EXPECT_EQ(r.mode, 2);
    EXPECT_EQ(r.output, c.message);
    EXPECT_EQ(r.x, std::vector<double>(static_cast<size_t>(c.n), 7.0));
}

INSTANTIATE_TEST_SUITE_P(
    Wnnls, WnnlsUsage,
    testing::Values(
        WnnlsUsageCase{"WorkOneShort",
                       1,
                       2,
                       3,
                       0,
                       3,
                       -1,
                       0,
                       {1.0},
                       "INSUFFICIENT STORAGE ALLOCATED FOR WORK(*)"},
        WnnlsUsageCase{"IworkOneShort",
                       1,
                       2,
                       3,
                       0,
                       3,
                       0,
                       -1,
                       {1.0},
                       "INSUFFICIENT STORAGE ALLOCATED FOR IWORK(*)"},
        WnnlsUsageCase{"WorkCheckedFirst",
                       1,
                       2,
                       3,
                       0,
                       3,
                       -1,
                       -1,
                       {1.0},
                       "INSUFFICIENT STORAGE ALLOCATED FOR WORK(*)"},
        WnnlsUsageCase{
            "MdwBelowRows", 1, 2, 3, 0, 2, 0, 0, {1.0}, "THE VALUE MDW.LT.ME+MA IS AN ERROR"},
        WnnlsUsageCase{"NegativeL", 0, 3, 3, -1, 3, 0, 0, {1.0}, "L.GE.0 .AND. L.LE.N IS REQUIRED"},
        WnnlsUsageCase{"LAboveN", 0, 3, 3, 4, 3, 0, 0, {1.0}, "L.GE.0 .AND. L.LE.N IS REQUIRED"},
        WnnlsUsageCase{"NegativeFirstLink",
                       0,
                       3,
                       3,
                       0,
                       3,
                       0,
                       0,
                       {-1.0},
                       "IN DWNNLS, THE OPTION VECTOR IS UNDEFINED"},
        WnnlsUsageCase{"BadNextLink",
                       0,
                       3,
                       3,
                       0,
                       3,
                       0,
                       0,
                       {4, 8, 0.1, 0},
                       "IN DWNNLS, THE OPTION VECTOR IS UNDEFINED"},
        WnnlsUsageCase{"CyclingLinks",
                       0,
                       3,
                       3,
                       0,
                       3,
                       0,
                       0,
                       {4, 8, 0.1, 4, 8, 0.1},
                       "IN DWNNLS, THE LINKS IN THE OPTION VECTOR ARE CYCLING."}),
    [](const testing::TestParamInfo<WnnlsUsageCase>& p) { return p.param.name; });

TEST(Wnnls, NothingToSolveReturnsModeZero)
{
    for (auto [me, ma, n] : {std::array{0, 0, 3}, std::array{1, 2, 0}}) {
        const Result r = run(std::vector<double>(16, 1.0), 3, me, ma, n, 0, {0.0}, -100, -100);
        EXPECT_EQ(r.mode, 0);
        EXPECT_EQ(r.output, "") << "no check runs";
    }
}

// W for rows of N coefficients plus the right-hand side.
std::vector<double> columnMajor(const std::vector<std::vector<double>>& rows, int n)
{
    std::vector<double> w(rows.size() * static_cast<size_t>(n + 1));
    for (size_t i = 0; i < rows.size(); ++i) {
        for (int j = 0; j <= n; ++j)
            w[i + j * rows.size()] = rows[i][j];
    }
    return w;
}

struct RandomShape
{
    int m;
    int n;
    int l;
};

class WnnlsRandom : public testing::TestWithParam<RandomShape>
{
};

// Optimality: x(L+1..N) >= 0 and the gradient A^T (b - A x) vanishes on the
// free and positive unknowns and is not positive on those at zero.
TEST_P(WnnlsRandom, MeetsOptimalityConditions)
{
    const RandomShape s = GetParam();
    std::mt19937 rng(s.m * 100 + s.n * 10 + s.l);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (int trial = 0; trial < 20; ++trial) {
        std::vector<std::vector<double>> rows(static_cast<size_t>(s.m));
        for (auto& row : rows) {
            for (int j = 0; j <= s.n; ++j)
                row.push_back(u(rng));
        }
        const Result r = run(columnMajor(rows, s.n), s.m, 0, s.m, s.n, s.l);
        ASSERT_EQ(r.mode, 0);
        std::vector<double> residual(static_cast<size_t>(s.m));
        for (int i = 0; i < s.m; ++i) {
            residual[i] = rows[i][s.n];
            for (int j = 0; j < s.n; ++j)
                residual[i] -= rows[i][j] * r.x[j];
        }
        const double norm =
            std::sqrt(std::inner_product(residual.begin(), residual.end(), residual.begin(), 0.0));
        EXPECT_NEAR(r.rnorm, norm, 1e-12);
        for (int j = 0; j < s.n; ++j) {
            double gradient = 0.0;
            for (int i = 0; i < s.m; ++i)
                gradient += rows[i][j] * residual[i];
            if (j < s.l || r.x[j] > 0.0) {
                EXPECT_NEAR(gradient, 0.0, 1e-12) << "trial " << trial << " unknown " << j;
            } else {
                EXPECT_EQ(r.x[j], 0.0);
                EXPECT_LE(gradient, 1e-12) << "trial " << trial << " unknown " << j;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Wnnls, WnnlsRandom,
                         testing::Values(RandomShape{6, 4, 0}, RandomShape{4, 6, 0},
                                         RandomShape{10, 8, 3}, RandomShape{5, 5, 5},
                                         RandomShape{20, 12, 0}, RandomShape{3, 9, 2}));

// The Euclidean projection of b onto the simplex {x >= 0, sum x = 1}: an
// equality row over unknowns that are all bounded.
TEST(Wnnls, ProjectsOntoSimplex)
{
    std::mt19937 rng(11);
    std::normal_distribution<double> normal(0.0, 1.0);
    for (int n : {2, 3, 7, 15}) {
        for (int trial = 0; trial < 10; ++trial) {
            std::vector<double> b(static_cast<size_t>(n));
            for (double& v : b)
                v = normal(rng);
            // Reference: x = max(b - theta, 0) with theta from the sorted b.
            std::vector<double> sorted = b;
            std::sort(sorted.rbegin(), sorted.rend());
            double sum = 0.0;
            double theta = 0.0;
            for (int k = 0; k < n; ++k) {
                sum += sorted[k];
                const double t = (sum - 1.0) / (k + 1);
                if (sorted[k] - t > 0.0)
                    theta = t;
            }
            std::vector<std::vector<double>> rows;
            rows.push_back(std::vector<double>(static_cast<size_t>(n), 1.0));
            rows.back().push_back(1.0);
            for (int i = 0; i < n; ++i) {
                rows.emplace_back(static_cast<size_t>(n + 1), 0.0);
                rows.back()[i] = 1.0;
                rows.back()[n] = b[i];
            }
            const Result r = run(columnMajor(rows, n), n + 1, 1, n, n, 0);
            ASSERT_EQ(r.mode, 0);
            for (int i = 0; i < n; ++i)
                EXPECT_NEAR(r.x[i], std::max(b[i] - theta, 0.0), 1e-13) << n << "/" << trial;
        }
    }
}

// u1 = u2 with u >= 0: neither unknown can move alone, so the weighted
// equality row must let the second follow the first.
TEST(Wnnls, UnknownsThatMustMoveTogether)
{
    const std::vector<std::vector<double>> rows = {{1, -1, 0}, {1, 1, 2}};
    const Result r = run(columnMajor(rows, 2), 2, 1, 1, 2, 0);
    ASSERT_EQ(r.mode, 0);
    EXPECT_NEAR(r.x[0], 1.0, 1e-13);
    EXPECT_NEAR(r.x[1], 1.0, 1e-13);
    EXPECT_NEAR(r.rnorm, 0.0, 1e-13);
}

// Contradictory equality rows are met in the least-squares sense before
// the other rows count; their residual is part of RNORM.
TEST(Wnnls, ContradictoryEqualitiesAndFreeUnknown)
{
    const std::vector<std::vector<double>> rows = {{1, 0, 1}, {1, 0, 3}, {0, 1, -4}, {1, 1, 0}};
    const Result r = run(columnMajor(rows, 2), 4, 2, 2, 2, 1);
    ASSERT_EQ(r.mode, 0);
    // x1 = 2 from the equalities; x2 >= 0 minimises (x2 + 4)^2 + (2 + x2)^2.
    EXPECT_NEAR(r.x[0], 2.0, 1e-12);
    EXPECT_EQ(r.x[1], 0.0);
    EXPECT_NEAR(r.rnorm, std::sqrt(1.0 + 1.0 + 16.0 + 4.0), 1e-12);
}

// Positive column scales and the tolerance and weight keys leave the
// solution of a well-posed problem where it is.
TEST(Wnnls, OptionsKeepTheSolution)
{
    const std::vector<std::vector<double>> rows = {
        {1, 1, 1, 1}, {1, 0, 0, 0.9}, {0, 2, 0, -1}, {0, 0, 3, 0.5}, {1, 1, 0, 0.2}};
    const Result plain = run(columnMajor(rows, 3), 5, 1, 4, 3, 0);
    ASSERT_EQ(plain.mode, 0);
    for (const std::vector<double>& options :
         {std::vector<double>{4, 6, 1, 1}, std::vector<double>{6, 7, 2, 0.5, 4, 1},
          std::vector<double>{4, 8, 1e-10, 1}, std::vector<double>{4, 9, 1e9, 1}}) {
        const Result r = run(columnMajor(rows, 3), 5, 1, 4, 3, 0, options);
        ASSERT_EQ(r.mode, 0);
        for (int j = 0; j < 3; ++j)
            EXPECT_NEAR(r.x[j], plain.x[j], 1e-12) << "key " << options[1];
    }
}

} // namespace
