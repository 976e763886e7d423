#include <gtest/gtest.h>

#include "objects/builders/Bezier.h"

#include <cmath>

namespace {

void expectNear(const osg::Vec3& actual, const osg::Vec3& expected, float tolerance)
{
    EXPECT_NEAR(actual.x(), expected.x(), tolerance);
    EXPECT_NEAR(actual.y(), expected.y(), tolerance);
    EXPECT_NEAR(actual.z(), expected.z(), tolerance);
}

const std::vector<osg::Vec3> kCubic = {
    {0.f, 0.f, 0.f}, {1.f, 2.f, 0.5f}, {3.f, -1.f, 2.f}, {4.f, 1.f, -1.f}};

// The same cubic raised to degree 4: a five-point curve that goes through the
// Bernstein sum instead of the cubic form.
std::vector<osg::Vec3> elevated(const std::vector<osg::Vec3>& p)
{
    std::vector<osg::Vec3> q{p[0]};
    for (int i = 1; i <= 3; ++i)
        q.push_back(p[i - 1] * (i / 4.f) + p[i] * (1.f - i / 4.f));
    q.push_back(p[3]);
    return q;
}

} // namespace

TEST(Bezier, CubicFormAgreesWithBernsteinSumOfTheSameCurve)
{
    const Bezier cubic(kCubic), quartic(elevated(kCubic));
    for (float t = 0.f; t <= 1.f; t += 0.0625f) {
        expectNear(cubic.point(t), quartic.point(t), 1e-5f);
        expectNear(cubic.tangent(t), quartic.tangent(t), 1e-4f);
    }
}

TEST(Bezier, TangentIsTheDerivativeOfThePoint)
{
    for (std::size_t count : {2u, 3u, 4u, 6u}) {
        std::vector<osg::Vec3> points;
        for (std::size_t i = 0; i < count; ++i)
            points.emplace_back(float(i), std::sin(float(i)), float(i * i) * 0.1f);
        const Bezier curve(points);
        for (float t : {0.1f, 0.5f, 0.9f}) {
            const float h = 1e-3f;
            expectNear(curve.tangent(t), (curve.point(t + h) - curve.point(t - h)) / (2 * h),
                       2e-2f);
        }
    }
}

TEST(Bezier, EndpointsAreExactForEveryCount)
{
    for (std::size_t count = 2; count <= 7; ++count) {
        std::vector<osg::Vec3> points;
        for (std::size_t i = 0; i < count; ++i)
            points.emplace_back(0.3f * float(i), -1.7f + float(i), 2.5f / float(i + 1));
        const Bezier curve(points);
        EXPECT_EQ(curve.point(0.f), points.front()) << count;
        EXPECT_EQ(curve.point(1.f), points.back()) << count;
    }
}

TEST(Bezier, TwoPointsAreAStraightSegment)
{
    const Bezier line({{1.f, 1.f, 1.f}, {3.f, 5.f, -1.f}});
    expectNear(line.point(0.25f), {1.5f, 2.f, 0.5f}, 1e-6f);
    expectNear(line.tangent(0.7f), {2.f, 4.f, -2.f}, 1e-6f);
}

TEST(Bezier, DegenerateCurvesAreDefined)
{
    const Bezier empty, single({{2.f, 3.f, 4.f}});
    EXPECT_EQ(empty.point(0.5f), osg::Vec3(0.f, 0.f, 0.f));
    EXPECT_EQ(empty.tangent(0.5f), osg::Vec3(0.f, 0.f, 0.f));
    EXPECT_EQ(single.point(0.3f), osg::Vec3(2.f, 3.f, 4.f));
    EXPECT_EQ(single.tangent(0.3f), osg::Vec3(0.f, 0.f, 0.f));
    EXPECT_EQ(empty.chordLength(), 0.f);
    EXPECT_EQ(single.chordLength(0), 0.f);
}

TEST(Bezier, ManyControlPointsStayFinite)
{
    // Far beyond the point count whose binomial coefficients overflow a double.
    std::vector<osg::Vec3> points;
    for (int i = 0; i < 1500; ++i)
        points.emplace_back(float(i), std::cos(float(i)), 0.f);
    const Bezier curve(points);
    for (float t : {0.f, 0.3f, 0.5f, 1.f}) {
        const osg::Vec3 p = curve.point(t), d = curve.tangent(t);
        EXPECT_TRUE(std::isfinite(p.x() + p.y() + p.z() + d.x() + d.y() + d.z())) << t;
    }
    EXPECT_EQ(curve.point(0.f), points.front());
    EXPECT_NEAR(curve.point(0.5f).x(), 749.5f, 1e-2f);
}

TEST(Bezier, SampledCurveAnswersFromItsTable)
{
    Bezier curve(kCubic);
    const Bezier exact(kCubic);
    curve.sample(1000);
    ASSERT_TRUE(curve.isSampled());
    // t = 0.5 falls on sample 499 of 0 … 999, whose parameter is 499/999.
    EXPECT_EQ(curve.point(0.5f), exact.point(499.f / 999.f));
    EXPECT_EQ(curve.tangent(0.5f), exact.tangent(499.f / 999.f));
    EXPECT_EQ(curve.point(-2.f), exact.point(0.f));
    EXPECT_EQ(curve.point(7.f), exact.point(1.f));
    curve.addControlPoint({5.f, 5.f, 5.f});
    EXPECT_FALSE(curve.isSampled());
    EXPECT_EQ(curve.point(1.f), osg::Vec3(5.f, 5.f, 5.f));
}

TEST(Bezier, FlowPipeCurveLeavesAlongXAndArrivesAlongTheEndDirection)
{
    const osg::Vec3 end(3.f, 4.f, 0.f), direction(0.f, 1.f, 0.f);
    const Bezier curve = Bezier::fromEnds(end, direction);
    ASSERT_EQ(curve.controlPoints().size(), 4u);
    expectNear(curve.controlPoints()[1], {2.5f, 0.f, 0.f}, 1e-6f);
    expectNear(curve.controlPoints()[2], {3.f, 1.5f, 0.f}, 1e-6f);
    EXPECT_EQ(curve.point(1.f), end);
    const osg::Vec3 start = curve.tangent(0.f), arrival = curve.tangent(1.f);
    EXPECT_GT(start.x(), 0.f);
    EXPECT_NEAR(start.y(), 0.f, 1e-6f);
    EXPECT_NEAR((arrival ^ direction).length(), 0.f, 1e-5f);
    EXPECT_GT(arrival * direction, 0.f);
    // Chords never exceed the curve, and they approximate it.
    EXPECT_GT(curve.chordLength(20), 5.f);
    EXPECT_NEAR(curve.chordLength(20), curve.chordLength(400), 0.01f);
}

TEST(Bezier, StraightFlowPipeCurveIsAsLongAsItsEnd)
{
    const Bezier curve = Bezier::fromEnds({6.f, 0.f, 0.f}, {1.f, 0.f, 0.f});
    EXPECT_NEAR(curve.chordLength(20), 6.f, 1e-5f);
}
