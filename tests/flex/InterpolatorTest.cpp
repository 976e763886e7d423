// The displacement field against results worked out by hand and against a
// fresh solve of the whole system by the constrained least-squares routine.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "FlexTestSupport.h"
#include "flex/DeformationInterpolator.h"
#include "flex/solver/Lsei.h"

namespace {

using flextest::points;
using flextest::randomPoints;

// The field at p along every axis, in double precision from the solution.
osg::Vec3d field(const DeformationInterpolator& f, const osg::Vec3& p)
{
    osg::Vec3d d;
    const std::vector<float>& w = f.weights();
    for (int a = 0; a < 3; ++a) {
        double sum = f.c()[a] + f.lx()[a] * p.x() + f.ly()[a] * p.y() + f.lz()[a] * p.z();
        for (int j = 0; j < f.nodeCount(); ++j)
            sum += double(w[3 * std::size_t(j) + std::size_t(a)]) *
                   std::pow(double((p - f.reference()[std::size_t(j)]).length()), 3.0);
        d[a] = sum;
    }
    return d;
}

osg::ref_ptr<osg::Vec3Array> zeros(std::size_t n)
{
    return new osg::Vec3Array(n);
}

TEST(Interpolator, OneNodeMovesEverythingByTheMinimalLinearField)
{
    // One node at x0: the weight must vanish and C + x0.L = d has the
    // minimal-length solution (C, L) = d (1, x0) / (1 + |x0|^2).
    osg::ref_ptr<osg::Vec3Array> node = points({osg::Vec3(1, 2, 0)});
    osg::ref_ptr<osg::Vec3Array> d = points({osg::Vec3(0, 0, 3)});
    DeformationInterpolator f(node, d);
    ASSERT_TRUE(f.solve());
    EXPECT_NEAR(f.weights()[2], 0.0, 1e-6);
    EXPECT_NEAR(f.c().z(), 3.0 / 6.0, 1e-6);
    EXPECT_NEAR(f.lx().z(), 3.0 / 6.0, 1e-6);
    EXPECT_NEAR(f.ly().z(), 6.0 / 6.0, 1e-6);
    EXPECT_NEAR(f.lz().z(), 0.0, 1e-6);
    EXPECT_NEAR(field(f, osg::Vec3(1, 2, 0)).z(), 3.0, 1e-5) << "the node's own displacement";
    EXPECT_NEAR(field(f, osg::Vec3(0, 0, 0)).z(), 0.5, 1e-5);
}

TEST(Interpolator, TwoNodesOnALineGiveTheLinearFieldBetweenThem)
{
    // Nodes (0,0,0) and (1,0,0), z displacements 1 and 3: the weights solve
    // w1 + C = 1, w0 + C + Lx = 3, w0 + w1 = 0, w1 = 0, so the field is
    // 1 + 2x along z (Ly, Lz minimal: 0).
    osg::ref_ptr<osg::Vec3Array> nodes = points({osg::Vec3(0, 0, 0), osg::Vec3(1, 0, 0)});
    osg::ref_ptr<osg::Vec3Array> d = points({osg::Vec3(0, 0, 1), osg::Vec3(0, 0, 3)});
    DeformationInterpolator f(nodes, d);
    ASSERT_TRUE(f.solve());
    EXPECT_NEAR(f.weights()[2], 0.0, 1e-6);
    EXPECT_NEAR(f.weights()[5], 0.0, 1e-6);
    EXPECT_NEAR(f.c().z(), 1.0, 1e-6);
    EXPECT_NEAR(f.lx().z(), 2.0, 1e-6);
    EXPECT_NEAR(f.ly().z(), 0.0, 1e-6);
    EXPECT_NEAR(f.lz().z(), 0.0, 1e-6);
    EXPECT_NEAR(field(f, osg::Vec3(0.25f, 5, -2)).z(), 1.5, 1e-5);
}

TEST(Interpolator, ALinearDisplacementIsReproducedEverywhere)
{
    // d(p) = A p + t at every node has the exact solution w = 0, L = A, C = t.
    const osg::Matrix a(0.1, -0.2, 0.05, 0, 0.3, 0.0, 0.1, 0, -0.1, 0.2, 0.4, 0, 0, 0, 0, 1);
    const osg::Vec3 t(0.5f, -1.0f, 2.0f);
    osg::ref_ptr<osg::Vec3Array> nodes = randomPoints(20, 1);
    osg::ref_ptr<osg::Vec3Array> d = new osg::Vec3Array;
    for (const osg::Vec3& x : *nodes)
        d->push_back(osg::Matrix::transform3x3(x, a) + t);
    DeformationInterpolator f(nodes, d);
    ASSERT_TRUE(f.solve());
    const osg::ref_ptr<osg::Vec3Array> probes = randomPoints(50, 2, 3.0f);
    for (const osg::Vec3& p : *probes) {
        const osg::Vec3d expected = osg::Matrix::transform3x3(p, a) + t;
        const osg::Vec3d got = field(f, p);
        for (int axis = 0; axis < 3; ++axis)
            EXPECT_NEAR(got[axis], expected[axis], 1e-4) << "axis " << axis;
    }
    for (float w : f.weights())
        EXPECT_NEAR(w, 0.0f, 1e-5f);
}

TEST(Interpolator, RandomDisplacementsAreMetAtTheNodesWithOrthogonalWeights)
{
    osg::ref_ptr<osg::Vec3Array> nodes = randomPoints(40, 3);
    osg::ref_ptr<osg::Vec3Array> d = randomPoints(40, 4, 0.2f);
    DeformationInterpolator f(nodes, d);
    ASSERT_TRUE(f.solve());
    for (std::size_t j = 0; j < nodes->size(); ++j) {
        const osg::Vec3d got = field(f, (*nodes)[j]);
        for (int axis = 0; axis < 3; ++axis)
            EXPECT_NEAR(got[axis], (*d)[j][axis], 2e-4) << "node " << j << " axis " << axis;
    }
    // The last four rows: sum w = 0 and sum w x_j = 0.
    for (int axis = 0; axis < 3; ++axis) {
        double sums[4] = {};
        for (std::size_t j = 0; j < nodes->size(); ++j) {
            const double w = f.weights()[3 * j + std::size_t(axis)];
            sums[0] += w;
            for (int k = 0; k < 3; ++k)
                sums[k + 1] += w * (*nodes)[j][k];
        }
        for (double s : sums)
            EXPECT_NEAR(s, 0.0, 1e-5);
    }
}

TEST(Interpolator, TheKeptFactorisationEqualsAFreshSolveOfTheWholeSystem)
{
    // Also nodes in one plane: the system is singular and both give the
    // minimal-length solution.
    for (const bool flat : {false, true}) {
        SCOPED_TRACE(flat ? "nodes in the plane z = 0" : "nodes in space");
        osg::ref_ptr<osg::Vec3Array> nodes = randomPoints(30, 5);
        if (flat)
            for (osg::Vec3& x : *nodes)
                x.z() = 0.0f;
        osg::ref_ptr<osg::Vec3Array> d = zeros(30);
        DeformationInterpolator f(nodes, d);
        for (unsigned round = 0; round < 3; ++round) {
            *d = *randomPoints(30, 10 + round, 0.3f);
            ASSERT_TRUE(f.solve());
            const int n = f.nodeCount() + 4;
            std::vector<double> w;
            f.fillSystem(2, w);
            std::vector<double> x(std::size_t(n), 0.0);
            std::vector<double> ws(std::size_t(5 * n + 14));
            std::vector<int> ip(std::size_t(2 * n + 2));
            const double options[] = {1.0};
            double rnorme = 0, rnorml = 0;
            int mode = -1;
            const int zero = 0;
            flex::dlsei(w.data(), n, zero, n, zero, n, options, x.data(), rnorme, rnorml, mode,
                        ws.data(), ip.data(), int(ws.size()), int(ip.size()));
            ASSERT_EQ(mode, 0);
            for (int i = 0; i < n; ++i)
                EXPECT_NEAR(f.solution()[std::size_t(i)], x[std::size_t(i)],
                            1e-9 * (1.0 + std::abs(x[std::size_t(i)])))
                    << "unknown " << i;
        }
    }
}

TEST(Interpolator, TheSystemHoldsPhiPAndTheDisplacements)
{
    osg::ref_ptr<osg::Vec3Array> nodes =
        points({osg::Vec3(0, 0, 0), osg::Vec3(2, 0, 0), osg::Vec3(0, 1, 0)});
    osg::ref_ptr<osg::Vec3Array> d =
        points({osg::Vec3(1, 2, 3), osg::Vec3(4, 5, 6), osg::Vec3(7, 8, 9)});
    DeformationInterpolator f(nodes, d);
    std::vector<double> w;
    f.fillSystem(1, w);
    const std::size_t ld = 7;
    ASSERT_EQ(w.size(), ld * 8);
    EXPECT_EQ(w[1 * ld + 0], 8.0); // |x0 - x1|^3
    EXPECT_NEAR(w[2 * ld + 1], std::pow(std::sqrt(5.0), 3.0), 1e-5);
    EXPECT_EQ(w[0 * ld + 0], 0.0);
    EXPECT_EQ(w[3 * ld + 2], 1.0); // P(2, 0)
    EXPECT_EQ(w[4 * ld + 1], 2.0); // P(1, 1) = x1
    EXPECT_EQ(w[1 * ld + 4], 2.0); // its transpose
    EXPECT_EQ(w[5 * ld + 2], 1.0); // P(2, 2) = y2
    EXPECT_EQ(w[4 * ld + 5], 0.0); // the zero corner
    EXPECT_EQ(w[7 * ld + 0], 2.0); // y displacement of node 0
    EXPECT_EQ(w[7 * ld + 2], 8.0); // ... and node 2
    EXPECT_EQ(w[7 * ld + 4], 0.0); // the orthogonality rows
}

TEST(Interpolator, ANonFiniteSolveKeepsThePreviousField)
{
    osg::ref_ptr<osg::Vec3Array> nodes = randomPoints(10, 6);
    osg::ref_ptr<osg::Vec3Array> d = randomPoints(10, 7, 0.1f);
    DeformationInterpolator f(nodes, d);
    ASSERT_TRUE(f.solve());
    const std::vector<float> weights = f.weights();
    const osg::Vec3f c = f.c();
    (*d)[3].y() = std::nanf("");
    EXPECT_FALSE(f.solve());
    EXPECT_EQ(f.weights(), weights);
    EXPECT_EQ(f.c(), c);
    (*d)[3].y() = 0.0f;
    EXPECT_TRUE(f.solve());
    EXPECT_NE(f.weights(), weights);
}

TEST(Interpolator, TheKernelArrayHoldsCubedDistancesPerVertexAndIsKept)
{
    osg::ref_ptr<osg::Vec3Array> nodes = points({osg::Vec3(0, 0, 0), osg::Vec3(0, 0, 2)});
    DeformationInterpolator f(nodes, zeros(2));
    osg::ref_ptr<osg::Geometry> geometry = new osg::Geometry;
    osg::ref_ptr<osg::Vec3Array> vertices =
        points({osg::Vec3(3, 4, 0), osg::Vec3(0, 0, 1), osg::Vec3(0, 0, 2)});
    const std::vector<float>& k = f.kernelArray(geometry.get(), *vertices);
    ASSERT_EQ(k.size(), 6u);
    EXPECT_EQ(k[0], 125.0f);
    EXPECT_NEAR(k[1], std::pow(std::sqrt(29.0), 3.0), 1e-4);
    EXPECT_EQ(std::vector<float>(k.begin() + 2, k.end()), (std::vector<float>{1, 1, 8, 0}));
    (*vertices)[0].set(0, 0, 0);
    EXPECT_EQ(&f.kernelArray(geometry.get(), *vertices), &k);
    EXPECT_EQ(f.kernelArray(geometry.get(), *vertices)[0], 125.0f) << "computed once";
}

} // namespace
