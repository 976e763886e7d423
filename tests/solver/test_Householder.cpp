// The building blocks: one Householder reflection, the pivoted triangulation
// with its messages and several right-hand sides, the modified Givens
// rotation and the scaled norm.

#include "flex/solver/Blas1.h"
#include "flex/solver/H12.h"
#include "flex/solver/Hfti.h"

#include <Eigen/Dense>
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace {

struct ReflectionCase
{
    std::string name;
    std::vector<double> u;
    int pivot;
    int l1;
    int m;
};

void PrintTo(const ReflectionCase& c, std::ostream* os)
{
    *os << c.name;
}

class Reflection : public testing::TestWithParam<ReflectionCase>
{
};

// Constructing from u maps u to (s, 0, ..., 0) over the pivot and range with
// |s| = the norm and the opposite sign; applying it twice restores a vector.
TEST_P(Reflection, MapsOntoPivotAndIsItsOwnInverse)
{
    const ReflectionCase& c = GetParam();
    std::vector<double> u = c.u;
    long double norm2 = static_cast<long double>(u[c.pivot - 1]) * u[c.pivot - 1];
    for (int i = c.l1; i <= c.m; ++i)
        norm2 += static_cast<long double>(u[i - 1]) * u[i - 1];
    const double norm = static_cast<double>(std::sqrt(norm2));
    const double pivotBefore = u[c.pivot - 1];
    std::vector<double> v(u.size());
    for (size_t i = 0; i < v.size(); ++i)
        v[i] = norm * std::cos(1.0 + static_cast<double>(i));
    const std::vector<double> vBefore = v;
    double up = 0.0;
    const int one = 1;
    flex::dh12(1, c.pivot, c.l1, c.m, u.data(), one, up, v.data(), one, one, one);
    EXPECT_NEAR(std::fabs(u[c.pivot - 1]), norm, 1e-15 * norm);
    if (pivotBefore != 0.0) {
        EXPECT_LT(u[c.pivot - 1] * pivotBefore, 0.0);
    } else {
        EXPECT_GT(u[c.pivot - 1], 0.0);
    }
    // The image of the original u is (s, 0, ...) on the pivot and range and
    // u itself elsewhere.
    std::vector<double> image = c.u;
    flex::dh12(2, c.pivot, c.l1, c.m, u.data(), one, up, image.data(), one, one, one);
    for (int i = 1; i <= static_cast<int>(image.size()); ++i) {
        double expected = c.u[i - 1];
        if (i == c.pivot)
            expected = u[c.pivot - 1];
        else if (i >= c.l1 && i <= c.m)
            expected = 0.0;
        EXPECT_NEAR(image[i - 1], expected, 1e-14 * norm) << "entry " << i;
    }
    flex::dh12(2, c.pivot, c.l1, c.m, u.data(), one, up, v.data(), one, one, one);
    for (size_t i = 0; i < v.size(); ++i)
        EXPECT_NEAR(v[i], vBefore[i], 1e-14 * norm);
}

INSTANTIATE_TEST_SUITE_P(H12, Reflection,
                         testing::Values(ReflectionCase{"Positive", {3, 4, 0, 12}, 1, 2, 4},
                                         ReflectionCase{"Negative", {-2, 1, 2}, 1, 2, 3},
                                         ReflectionCase{"ZeroPivot", {0, 1, 1}, 1, 2, 3},
                                         ReflectionCase{"RangeAfterGap", {5, 9, 1, 2, 2}, 1, 3, 5},
                                         ReflectionCase{"PivotInside", {1, 7, 2, 2}, 2, 3, 4},
                                         ReflectionCase{"Large", {1e150, -1e150, 1e150}, 1, 2, 3}),
                         [](const testing::TestParamInfo<ReflectionCase>& p) {
                             return p.param.name;
                         });

// An empty range, a pivot not before the range or a zero vector leave
// everything as it was, including up.
TEST(H12, IdentityCases)
{
    for (auto [pivot, l1, m] : {std::array{0, 2, 3}, std::array{3, 2, 3}, std::array{1, 4, 3}}) {
        std::vector<double> u = {1, 2, 3};
        std::vector<double> c = {4, 5, 6};
        double up = -9.0;
        const int one = 1;
        flex::dh12(1, pivot, l1, m, u.data(), one, up, c.data(), one, one, one);
        EXPECT_EQ(u, (std::vector<double>{1, 2, 3}));
        EXPECT_EQ(c, (std::vector<double>{4, 5, 6}));
        EXPECT_EQ(up, -9.0);
    }
    std::vector<double> zero = {0, 0, 0};
    std::vector<double> c = {4, 5, 6};
    double up = 0.0;
    const int one = 1;
    flex::dh12(1, 1, 2, 3, zero.data(), one, up, c.data(), one, one, one);
    EXPECT_EQ(up, 0.0);
    EXPECT_EQ(c, (std::vector<double>{4, 5, 6}));
}

TEST(Hfti, Messages)
{
    std::vector<double> a(16, 1.0);
    std::vector<double> b(16, 1.0);
    std::vector<double> h(4);
    std::vector<double> g(4);
    std::vector<int> ip(4);
    double rnorm[2] = {-1.0, -1.0};
    int krank = -1;
    struct Call
    {
        int mda, m, n, mdb, nb;
        const char* message;
    };
    for (const Call& c : {Call{2, 3, 2, 3, 1, "MDA.LT.M, PROBABLE ERROR."},
                          Call{3, 3, 4, 3, 2, "MDB.LT.MAX(M,N).AND.NB.GT.1. PROBABLE ERROR."},
                          Call{3, 3, 4, 3, 1, ""}}) {
        testing::internal::CaptureStdout();
        flex::dhfti(a.data(), c.mda, c.m, c.n, b.data(), c.mdb, c.nb, 1e-8, krank, rnorm, h.data(),
                    g.data(), ip.data());
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.message);
    }
}

// Several right-hand sides against the pseudo-inverse of a rank-3 matrix,
// and the same sides solved again with the stored factorisation.
TEST(Hfti, SeveralSidesAndReuse)
{
    std::mt19937 rng(21);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    const int m = 6;
    const int n = 4;
    Eigen::MatrixXd left(m, 3);
    Eigen::MatrixXd right(3, n);
    for (double& v : left.reshaped())
        v = u(rng);
    for (double& v : right.reshaped())
        v = u(rng);
    const Eigen::MatrixXd a = left * right;
    Eigen::MatrixXd sides(m, 3);
    for (double& v : sides.reshaped())
        v = u(rng);
    const Eigen::MatrixXd reference = a.completeOrthogonalDecomposition().solve(sides);

    Eigen::MatrixXd factor = a;
    Eigen::MatrixXd b = sides;
    std::vector<double> h(n);
    std::vector<double> g(n);
    std::vector<int> ip(n);
    std::vector<double> rnorm(3);
    int krank = 0;
    const double tau = 1e-10;
    flex::dhfti(factor.data(), m, m, n, b.data(), m, 3, tau, krank, rnorm.data(), h.data(),
                g.data(), ip.data());
    ASSERT_EQ(krank, 3);
    for (int j = 0; j < 3; ++j) {
        EXPECT_LT((b.col(j).head(n) - reference.col(j)).norm(), 1e-12);
        EXPECT_NEAR(rnorm[j], (sides.col(j) - a * reference.col(j)).norm(), 1e-12);
    }

    Eigen::MatrixXd again = sides;
    std::vector<double> rnormAgain(3);
    flex::dhftiSolve(factor.data(), m, m, n, again.data(), m, 3, krank, rnormAgain.data(), h.data(),
                     g.data(), ip.data());
    EXPECT_LT((again.topRows(n) - b.topRows(n)).norm(), 1e-14);
    for (int j = 0; j < 3; ++j)
        EXPECT_NEAR(rnormAgain[j], rnorm[j], 1e-14);
}

// The modified Givens rotation zeroes the second row's first entry and
// keeps the weighted sums of squares of every column.
TEST(Blas1, ModifiedGivensKeepsWeightedSquares)
{
    std::mt19937 rng(8);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::uniform_real_distribution<double> exponent(-20.0, 20.0);
    for (int trial = 0; trial < 200; ++trial) {
        double d1 = std::pow(10.0, exponent(rng));
        double d2 = std::pow(10.0, exponent(rng));
        std::vector<double> x = {u(rng), u(rng), u(rng)};
        std::vector<double> y = {u(rng), u(rng), u(rng)};
        std::vector<double> before(3);
        for (int i = 0; i < 3; ++i)
            before[i] = d1 * x[i] * x[i] + d2 * y[i] * y[i];
        double x1 = x[0];
        double param[5];
        flex::drotmg(d1, d2, x1, y[0], param);
        const int one = 1;
        const int three = 3;
        flex::drotm(three, x.data(), one, y.data(), one, param);
        EXPECT_NEAR(y[0], 0.0, 1e-15 * std::fabs(x[0]) * std::sqrt(d1 / d2) + 1e-300);
        EXPECT_NEAR(x[0], x1, 1e-13 * std::fabs(x1));
        for (int i = 0; i < 3; ++i) {
            const double after = d1 * x[i] * x[i] + d2 * y[i] * y[i];
            EXPECT_NEAR(after, before[i], 1e-12 * before[i]) << "trial " << trial;
        }
    }
}

TEST(Blas1, NormNeitherOverflowsNorUnderflows)
{
    const int three = 3;
    const int one = 1;
    const int two = 2;
    const double huge[] = {3e300, 4e300, 0.0};
    const double tiny[] = {3e-300, 0.0, 4e-300};
    EXPECT_DOUBLE_EQ(flex::dnrm2(three, huge, one), 5e300);
    EXPECT_DOUBLE_EQ(flex::dnrm2(three, tiny, one), 5e-300);
    const double strided[] = {3, 99, 4};
    EXPECT_DOUBLE_EQ(flex::dnrm2(two, strided, two), 5.0);
    EXPECT_EQ(flex::idamax(three, tiny, one), 3);
}

} // namespace
