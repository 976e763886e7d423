// The fused processor pass against the formula evaluated straightforwardly:
// in double precision, and in single precision over the kernel array.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <thread>

#include "FlexTestSupport.h"
#include "flex/DeformationInterpolator.h"
#include "flex/ProcessorDeformation.h"

namespace {

using flextest::randomPoints;

struct Fitted
{
    osg::ref_ptr<osg::Vec3Array> nodes;
    osg::ref_ptr<osg::Vec3Array> displacements;
    std::unique_ptr<DeformationInterpolator> field;
};

Fitted fitted(std::size_t n, unsigned seed)
{
    Fitted f;
    f.nodes = randomPoints(n, seed);
    f.displacements = randomPoints(n, seed + 1, 0.2f);
    f.field = std::make_unique<DeformationInterpolator>(f.nodes, f.displacements);
    EXPECT_TRUE(f.field->solve());
    return f;
}

// The moved vertex in double precision, and the sum of the magnitudes of its
// terms (what single-precision rounding is relative to).
std::pair<osg::Vec3d, osg::Vec3d> exact(const DeformationInterpolator& f, const osg::Vec3& p)
{
    osg::Vec3d moved, scale;
    for (int a = 0; a < 3; ++a) {
        const double linear[4] = {f.c()[a], f.lx()[a] * p.x(), f.ly()[a] * p.y(),
                                  f.lz()[a] * p.z()};
        double sum = p[a], magnitude = std::abs(p[a]);
        for (double term : linear) {
            sum += term;
            magnitude += std::abs(term);
        }
        for (int j = 0; j < f.nodeCount(); ++j) {
            const double k = std::pow(double((p - f.reference()[std::size_t(j)]).length()), 3.0);
            const double term = k * f.weights()[3 * std::size_t(j) + std::size_t(a)];
            sum += term;
            magnitude += std::abs(term);
        }
        moved[a] = sum;
        scale[a] = magnitude;
    }
    return {moved, scale};
}

void expectWithinRounding(const DeformationInterpolator& f, const osg::Vec3Array& source,
                          const osg::Vec3Array& target)
{
    const double tolerance = 8 * std::sqrt(double(f.nodeCount())) * 1.2e-7;
    for (std::size_t v = 0; v < source.size(); ++v) {
        const auto [moved, scale] = exact(f, source[v]);
        for (int a = 0; a < 3; ++a)
            ASSERT_NEAR(target[v][a], moved[a], tolerance * scale[a])
                << "vertex " << v << " axis " << a;
    }
}

class FusedPass : public ::testing::TestWithParam<std::size_t>
{
};

TEST_P(FusedPass, EqualsTheFormulaToSinglePrecisionRounding)
{
    SCOPED_TRACE(flex::fusedInstructionSet());
    const Fitted f = fitted(GetParam(), unsigned(GetParam()));
    osg::ref_ptr<osg::Vec3Array> source = randomPoints(777, 99, 1.5f);
    // Some vertices sit exactly on nodes, where the kernel is 0.
    std::copy_n(f.nodes->begin(), std::min<std::size_t>(5, f.nodes->size()), source->begin());
    osg::ref_ptr<osg::Vec3Array> target = new osg::Vec3Array(source->size());

    flex::FieldNodes nodes;
    nodes.assign(*f.field);
    flex::deformFused(nodes, &source->front(), &target->front(), source->size(), 1);
    expectWithinRounding(*f.field, *source, *target);

    osg::ref_ptr<osg::Vec3Array> straight = new osg::Vec3Array(source->size());
    osg::ref_ptr<osg::Geometry> key = new osg::Geometry;
    flex::deformWithKernel(f.field->kernelArray(key.get(), *source).data(), *f.field,
                           &source->front(), &straight->front(), source->size());
    expectWithinRounding(*f.field, *source, *straight);
}

// Node counts around the vector widths: the padding must weigh nothing.
INSTANTIATE_TEST_SUITE_P(NodeCounts, FusedPass, ::testing::Values(1, 7, 16, 17, 33, 256),
                         [](const auto& row) { return "N" + std::to_string(row.param); });

TEST(FusedPassThreads, SplittingTheVerticesChangesNoBit)
{
    const Fitted f = fitted(50, 3);
    flex::FieldNodes nodes;
    nodes.assign(*f.field);
    for (const std::size_t count : {std::size_t(1), std::size_t(2), std::size_t(1001)}) {
        osg::ref_ptr<osg::Vec3Array> source = randomPoints(count, 5);
        osg::ref_ptr<osg::Vec3Array> one = new osg::Vec3Array(count);
        flex::deformFused(nodes, &source->front(), &one->front(), count, 1);
        for (unsigned threads : {2u, 3u, 8u}) {
            osg::ref_ptr<osg::Vec3Array> split = new osg::Vec3Array(unsigned(count));
            std::fill(split->begin(), split->end(), osg::Vec3(-9, -9, -9));
            flex::deformFused(nodes, &source->front(), &split->front(), count, threads);
            EXPECT_TRUE(std::equal(one->begin(), one->end(), split->begin()))
                << count << " vertices on " << threads << " threads";
        }
    }
}

TEST(FusedPassThreads, LargeWorkUsesMoreThreadsSmallWorkOne)
{
    EXPECT_EQ(flex::deformationThreads(100, 10), 1u);
    EXPECT_EQ(flex::deformationThreads(0, 10), 1u);
    const unsigned cores = std::max(std::thread::hardware_concurrency(), 1u);
    EXPECT_EQ(flex::deformationThreads(100000, 1000), std::min(cores, 47u));
}

TEST(ProcessorBackEnd, ZeroFieldWritesTheSourceUnchanged)
{
    osg::ref_ptr<osg::Vec3Array> nodes = randomPoints(20, 8);
    osg::ref_ptr<osg::Vec3Array> displacements = new osg::Vec3Array(20);
    DeformationInterpolator field(nodes, displacements);
    ASSERT_TRUE(field.solve());
    osg::ref_ptr<osg::Vec3Array> source = randomPoints(300, 9, 10.0f);
    osg::ref_ptr<osg::Vec3Array> target = new osg::Vec3Array(300);
    osg::ref_ptr<osg::Geometry> geometry = new osg::Geometry;
    ProcessorDeformation backEnd;
    backEnd.deform(field, *geometry, *source, *target);
    EXPECT_TRUE(std::equal(source->begin(), source->end(), target->begin()));
}

} // namespace
