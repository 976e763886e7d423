// Random problems checked against independent solutions computed with
// Eigen: square systems against LU, systems of known rank against the
// pseudo-inverse, constrained problems against the optimum found by trying
// every active set, and the bordered interpolation systems of the flexible
// bodies against a pivoted QR.

#include "LseiTestSupport.h"

#include "flex/solver/LeastSquaresFactor.h"
#include "flex/solver/Lsei.h"

#include <Eigen/Dense>
#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

using Eigen::MatrixXd;
using Eigen::VectorXd;
using flextest::Problem;
using flextest::Rows;

MatrixXd randomMatrix(std::mt19937& rng, int rows, int cols)
{
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    MatrixXd m(rows, cols);
    for (int j = 0; j < cols; ++j) {
        for (int i = 0; i < rows; ++i)
            m(i, j) = u(rng);
    }
    return m;
}

Rows toRows(const MatrixXd& a, const VectorXd& b)
{
    Rows rows(static_cast<size_t>(a.rows()));
    for (int i = 0; i < a.rows(); ++i) {
        for (int j = 0; j < a.cols(); ++j)
            rows[i].push_back(a(i, j));
        rows[i].push_back(b(i));
    }
    return rows;
}

VectorXd toVector(const std::vector<double>& v, int n)
{
    return Eigen::Map<const VectorXd>(v.data(), n);
}

double relativeError(const VectorXd& x, const VectorXd& reference)
{
    return (x - reference).norm() / std::max(reference.norm(), 1e-300);
}

// --- Square and rank-deficient ------------------------------------------------

class RandomSquare : public testing::TestWithParam<int>
{
};

TEST_P(RandomSquare, MatchesLu)
{
    const int n = GetParam();
    std::mt19937 rng(1000 + n);
    for (int trial = 0; trial < 5; ++trial) {
        const MatrixXd a = randomMatrix(rng, n, n);
        const VectorXd b = randomMatrix(rng, n, 1);
        const flextest::Solution s = flextest::solve(Problem{{}, toRows(a, b), {}, n});
        ASSERT_EQ(s.mode, 0);
        EXPECT_EQ(s.ip[1], n);
        EXPECT_EQ(s.rnorml, 0.0) << "a full triangle leaves no residual rows";
        const VectorXd lu = a.partialPivLu().solve(b);
        EXPECT_LT(relativeError(toVector(s.x, n), lu), 1e-10) << "trial " << trial;
    }
}

INSTANTIATE_TEST_SUITE_P(Lsei, RandomSquare, testing::Values(1, 2, 3, 8, 25, 60));

struct Shape
{
    int m;
    int n;
    int rank;
};

class KnownRank : public testing::TestWithParam<Shape>
{
};

// A = U diag(s) V^T with orthonormal U, V and singular values in [1, 10]:
// the pseudo-rank is found exactly and x is the pseudo-inverse solution.
TEST_P(KnownRank, MatchesPseudoInverse)
{
    const Shape shape = GetParam();
    std::mt19937 rng(77 * shape.m + shape.n + 13 * shape.rank);
    std::uniform_real_distribution<double> singular(1.0, 10.0);
    for (int trial = 0; trial < 4; ++trial) {
        const MatrixXd u = randomMatrix(rng, shape.m, shape.rank).householderQr().householderQ() *
                           MatrixXd::Identity(shape.m, shape.rank);
        const MatrixXd v = randomMatrix(rng, shape.n, shape.rank).householderQr().householderQ() *
                           MatrixXd::Identity(shape.n, shape.rank);
        VectorXd s(shape.rank);
        for (int i = 0; i < shape.rank; ++i)
            s(i) = singular(rng);
        const MatrixXd a = u * s.asDiagonal() * v.transpose();
        const VectorXd b = randomMatrix(rng, shape.m, 1);
        const VectorXd reference = v * s.cwiseInverse().asDiagonal() * u.transpose() * b;

        const flextest::Solution sol = flextest::solve(Problem{{}, toRows(a, b), {}, shape.n});
        ASSERT_EQ(sol.mode, 0);
        EXPECT_EQ(sol.ip[1], shape.rank);
        EXPECT_LT(relativeError(toVector(sol.x, shape.n), reference), 1e-12);
        EXPECT_NEAR(sol.rnorml, (b - a * reference).norm(), 1e-12);
    }
}

INSTANTIATE_TEST_SUITE_P(Lsei, KnownRank,
                         testing::Values(Shape{8, 5, 3}, Shape{5, 8, 2}, Shape{12, 12, 7},
                                         Shape{20, 10, 10}, Shape{6, 6, 1}, Shape{1, 4, 1},
                                         Shape{30, 30, 29}));

// --- Constrained: the optimum over all active sets -----------------------------

// min |A x - b| subject to C x = d, through its optimality system.
VectorXd equalityConstrained(const MatrixXd& a, const VectorXd& b, const MatrixXd& c,
                             const VectorXd& d)
{
    const int n = static_cast<int>(a.cols());
    const int k = static_cast<int>(c.rows());
    MatrixXd kkt = MatrixXd::Zero(n + k, n + k);
    kkt.topLeftCorner(n, n) = a.transpose() * a;
    kkt.topRightCorner(n, k) = c.transpose();
    kkt.bottomLeftCorner(k, n) = c;
    VectorXd rhs(n + k);
    rhs << a.transpose() * b, d;
    return kkt.fullPivLu().solve(rhs).head(n);
}

// The optimum of min |A x - b|, E x = f, G x >= h for A of full column rank:
// among the active sets whose solution is feasible, the best.
VectorXd bruteForce(const MatrixXd& e, const VectorXd& f, const MatrixXd& a, const VectorXd& b,
                    const MatrixXd& g, const VectorXd& h)
{
    const int n = static_cast<int>(a.cols());
    const int mg = static_cast<int>(g.rows());
    VectorXd best;
    double bestValue = std::numeric_limits<double>::infinity();
    for (int set = 0; set < (1 << mg); ++set) {
        const int active = __builtin_popcount(static_cast<unsigned>(set));
        if (e.rows() + active > n)
            continue;
        MatrixXd c(e.rows() + active, n);
        VectorXd d(e.rows() + active);
        c.topRows(e.rows()) = e;
        d.head(e.rows()) = f;
        int r = static_cast<int>(e.rows());
        for (int i = 0; i < mg; ++i) {
            if (set & (1 << i)) {
                c.row(r) = g.row(i);
                d(r++) = h(i);
            }
        }
        const VectorXd x = equalityConstrained(a, b, c, d);
        if (((g * x - h).array() < -1e-9).any())
            continue;
        const double value = (a * x - b).norm();
        if (value < bestValue - 1e-12) {
            bestValue = value;
            best = x;
        }
    }
    return best;
}

struct ConstrainedShape
{
    int me;
    int ma;
    int mg;
    int n;
};

class RandomConstrained : public testing::TestWithParam<ConstrainedShape>
{
};

TEST_P(RandomConstrained, MatchesBestActiveSet)
{
    const ConstrainedShape shape = GetParam();
    std::mt19937 rng(31 * shape.mg + 7 * shape.me + shape.n);
    for (int trial = 0; trial < 12; ++trial) {
        const MatrixXd e = randomMatrix(rng, shape.me, shape.n);
        const VectorXd f = randomMatrix(rng, shape.me, 1);
        const MatrixXd a = randomMatrix(rng, shape.ma, shape.n);
        const VectorXd b = randomMatrix(rng, shape.ma, 1);
        const MatrixXd g = randomMatrix(rng, shape.mg, shape.n);
        // Thresholds that a point near the unconstrained optimum meets, so
        // that some bind at the optimum and some do not.
        const VectorXd free = equalityConstrained(a, b, e, f);
        VectorXd inside = free + randomMatrix(rng, shape.n, 1);
        if (shape.me > 0)
            inside = equalityConstrained(MatrixXd::Identity(shape.n, shape.n), inside, e, f);
        const VectorXd h = g * inside - 0.3 * randomMatrix(rng, shape.mg, 1).cwiseAbs();

        const VectorXd reference = bruteForce(e, f, a, b, g, h);
        ASSERT_EQ(reference.size(), shape.n) << "feasible by construction";
        const flextest::Solution s =
            flextest::solve(Problem{toRows(e, f), toRows(a, b), toRows(g, h), shape.n});
        ASSERT_EQ(s.mode, 0) << "trial " << trial;
        const VectorXd x = toVector(s.x, shape.n);
        EXPECT_LT(relativeError(x, reference), 1e-9) << "trial " << trial;
        EXPECT_NEAR(s.rnorml, (a * x - b).norm(), 1e-12);
        if (shape.mg > 0) {
            EXPECT_GE((g * x - h).minCoeff(), -1e-12);
        }
        if (shape.me > 0) {
            EXPECT_LT((e * x - f).norm(), 1e-12);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Lsei, RandomConstrained,
                         testing::Values(ConstrainedShape{0, 5, 4, 3}, ConstrainedShape{0, 8, 6, 4},
                                         ConstrainedShape{1, 6, 3, 4}, ConstrainedShape{2, 4, 5, 5},
                                         ConstrainedShape{3, 0 + 6, 0, 6}));

// Bounds that exclude each other make the problem infeasible however the
// rest is drawn.
TEST(LseiRandom, OpposedBoundsAreContradictory)
{
    std::mt19937 rng(5);
    for (int trial = 0; trial < 10; ++trial) {
        const MatrixXd a = randomMatrix(rng, 4, 3);
        const VectorXd b = randomMatrix(rng, 4, 1);
        MatrixXd g = randomMatrix(rng, 4, 3);
        VectorXd h = randomMatrix(rng, 4, 1);
        g.row(0) = g.row(1);
        h(0) = h(1);
        g.row(1) *= -1.0;
        h(1) = -h(0) + 0.5; // g x >= h0 and g x <= h0 - 0.5
        const flextest::Solution s = flextest::solve(Problem{{}, toRows(a, b), toRows(g, h), 3});
        EXPECT_EQ(s.mode, 2) << "trial " << trial;
    }
}

// --- Bordered interpolation systems --------------------------------------------

std::vector<std::array<double, 3>> randomPoints(std::mt19937& rng, int count)
{
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::vector<std::array<double, 3>> points(static_cast<size_t>(count));
    for (auto& p : points)
        p = {u(rng), u(rng), u(rng)};
    return points;
}

MatrixXd toMatrix(const Rows& rows, int n, VectorXd& rhs)
{
    MatrixXd a(static_cast<int>(rows.size()), n);
    rhs.resize(static_cast<int>(rows.size()));
    for (int i = 0; i < a.rows(); ++i) {
        for (int j = 0; j < n; ++j)
            a(i, j) = rows[i][j];
        rhs(i) = rows[i][n];
    }
    return a;
}

class Bordered : public testing::TestWithParam<int>
{
};

TEST_P(Bordered, MatchesPivotedQrAndReusesFactorisation)
{
    const int nodes = GetParam();
    const int n = nodes + 4;
    std::mt19937 rng(nodes);
    const auto points = randomPoints(rng, nodes);
    std::uniform_real_distribution<double> u(-0.1, 0.1);
    std::vector<double> values(static_cast<size_t>(nodes));
    for (double& v : values)
        v = u(rng);
    const Rows rows = flextest::borderedSystem(points, values);
    VectorXd rhs;
    const MatrixXd a = toMatrix(rows, n, rhs);

    const flextest::Solution s = flextest::solve(Problem{{}, rows, {}, n});
    ASSERT_EQ(s.mode, 0);
    EXPECT_EQ(s.ip[1], n);
    const VectorXd x = toVector(s.x, n);
    const VectorXd reference = a.colPivHouseholderQr().solve(rhs);
    EXPECT_LT(relativeError(x, reference), 1e-9);
    EXPECT_LT((a * x - rhs).norm(), 1e-11 * rhs.norm());

    // The same matrix with further right-hand sides: the first gives the
    // entry routine's answer, the others their own systems' answers.
    flex::LeastSquaresFactor factor;
    factor.factor(std::span<const double>(a.data(), static_cast<size_t>(a.size())), n, n, n);
    EXPECT_EQ(factor.rank(), n);
    std::vector<double> reused(static_cast<size_t>(n));
    factor.solve(std::span<const double>(rhs.data(), static_cast<size_t>(n)), reused);
    EXPECT_EQ(reused, std::vector<double>(s.x.begin(), s.x.begin() + n));
    for (int side = 0; side < 3; ++side) {
        const VectorXd other = randomMatrix(rng, n, 1);
        EXPECT_EQ(
            factor.solve(std::span<const double>(other.data(), static_cast<size_t>(n)), reused),
            0.0);
        const VectorXd y = toVector(reused, n);
        EXPECT_LT((a * y - other).norm(), 1e-10 * other.norm()) << "side " << side;
    }
}

INSTANTIATE_TEST_SUITE_P(Lsei, Bordered, testing::Values(5, 50, 200));

// On coplanar nodes the system loses rank; the reused factorisation still
// gives the minimal-length solution of the entry routine.
TEST(LseiRandom, ReusedFactorisationOnCoplanarNodes)
{
    std::mt19937 rng(3);
    auto points = randomPoints(rng, 30);
    for (auto& p : points)
        p[2] = 0.25 + 0.5 * p[0] - 0.3 * p[1];
    std::vector<double> values(points.size());
    for (size_t i = 0; i < values.size(); ++i)
        values[i] = std::sin(3.0 * points[i][0]) * points[i][1];
    const int n = 34;
    const Rows rows = flextest::borderedSystem(points, values);
    VectorXd rhs;
    const MatrixXd a = toMatrix(rows, n, rhs);
    const flextest::Solution s = flextest::solve(Problem{{}, rows, {}, n});
    ASSERT_EQ(s.mode, 0);
    EXPECT_EQ(s.ip[1], n - 1);

    flex::LeastSquaresFactor factor;
    factor.factor(std::span<const double>(a.data(), static_cast<size_t>(a.size())), n, n, n);
    EXPECT_EQ(factor.rank(), n - 1);
    std::vector<double> reused(static_cast<size_t>(n));
    const double residual =
        factor.solve(std::span<const double>(rhs.data(), static_cast<size_t>(n)), reused);
    EXPECT_NEAR(residual, s.rnorml, 1e-12);
    EXPECT_LT(relativeError(toVector(reused, n), toVector(s.x, n)), 1e-13);
    const VectorXd minimal = a.completeOrthogonalDecomposition().solve(rhs);
    EXPECT_LT(relativeError(toVector(reused, n), minimal), 1e-9);
}

} // namespace
