#include <gtest/gtest.h>

#include "objects/builders/Tubes.h"
#include "objects/builders/BuilderSupport.h"
#include "GeometryChecks.h"

#include <cmath>

using namespace geometry_checks;

namespace {

const osg::Vec4 kBlue(0.f, 0.f, 1.f, 0.5f);

void expectOneOverallColourAndStrip(const Tube& tube)
{
    const osg::Geometry* g = tube.geometry();
    EXPECT_EQ(g->getColorArray()->getBinding(), osg::Array::BIND_OVERALL);
    EXPECT_EQ(g->getColorArray()->getNumElements(), 1u);
    EXPECT_EQ(tube.color(), kBlue);
    EXPECT_EQ(g->getNormalArray()->getBinding(), osg::Array::BIND_PER_VERTEX);
    const auto* strip = static_cast<const osg::DrawArrays*>(g->getPrimitiveSet(0));
    EXPECT_EQ(strip->getMode(), GLenum(GL_QUAD_STRIP));
    EXPECT_EQ(std::size_t(strip->getCount()), tube.vertices().size());
}

} // namespace

TEST(StraightTube, RingsRunFromInletToOutlet)
{
    osg::ref_ptr<StraightTube> tube = new StraightTube(3.f, 0.2f, 0.1f, kBlue);
    expectOneOverallColourAndStrip(*tube);
    const osg::Vec3Array& v = tube->vertices();
    ASSERT_EQ(v.size(), 82u);
    // First position at 2π + π/20, last at π/20: the ring closes on itself.
    EXPECT_NEAR(v[0].y(), 0.2f * std::cos(builder::kPi / 20), 1e-6f);
    EXPECT_NEAR(v[0].z(), 0.2f * std::sin(builder::kPi / 20), 1e-6f);
    EXPECT_NEAR((v[0] - v[80]).length(), 0.f, 1e-6f);
    // Outward normal of the cone: along (rIn − rOut, L·cos φ, L·sin φ).
    for (std::size_t i = 0; i < v.size(); i += 2) {
        ASSERT_EQ(v[i].x(), 0.f);
        ASSERT_EQ(v[i + 1].x(), 3.f);
        ASSERT_NEAR(std::hypot(v[i].y(), v[i].z()), 0.2f, 1e-6f);
        ASSERT_NEAR(std::hypot(v[i + 1].y(), v[i + 1].z()), 0.1f, 1e-6f);
        const osg::Vec3 radial = osg::Vec3(0.f, v[i].y(), v[i].z()) / 0.2f;
        osg::Vec3 expected = radial * 3.f + osg::Vec3(0.1f, 0.f, 0.f);
        expected.normalize();
        ASSERT_GT(tube->normals()[i] * expected, 0.995f) << i;
        ASSERT_EQ(tube->normals()[i], tube->normals()[i + 1]);
    }
}

TEST(CurvedTube, FollowsTheArcWithTheRadiusOneStepLate)
{
    const float R = 2.f, beta = float(builder::kPi / 2), rIn = 0.3f, rOut = 0.1f;
    osg::ref_ptr<CurvedTube> tube = new CurvedTube(R, beta, rIn, rOut, kBlue);
    expectOneOverallColourAndStrip(*tube);
    // 47 whole steps of β/(15π), then the short last one.
    ASSERT_EQ(tube->strips(), 48);
    const osg::Vec3Array& v = tube->vertices();
    ASSERT_EQ(v.size(), 48u * 82u);
    const double dTheta = beta * 0.02122065907891938;
    for (std::size_t i = 0; i < v.size(); ++i) {
        // Recover θ from the vertex and measure its distance from the centre line.
        const double theta = std::atan2(v[i].y() - R, v[i].x());
        const osg::Vec3 centre(float(R * std::cos(theta)), float(R * std::sin(theta) + R), 0.f);
        const osg::Vec3 out = v[i] - centre;
        const std::size_t strip = i / 82;
        const bool far = i % 2 == 1;
        const std::size_t ring = strip + (far ? 1 : 0);
        const double expectedRadius =
            ring == 48 ? rOut
                       : rIn + std::max<double>(double(ring) - 1, 0) * dTheta * (rOut - rIn) / beta;
        ASSERT_NEAR(out.length(), expectedRadius, 1e-5) << i;
        // The short last strip narrows to the outlet radius over a short
        // length, so its normals lean along the tube.
        ASSERT_GT(tube->normals()[i] * out / out.length(), strip == 47 ? 0.8f : 0.99f) << i;
    }
    // Starts at the origin heading along +x and ends at the bend angle.
    EXPECT_NEAR((v[0] - osg::Vec3(0.f, -rIn, 0.f)).length(), 0.f, 1e-6f);
    const osg::Vec3 last = v[v.size() - 1]; // φ = 2π on the end ring
    EXPECT_NEAR(last.x(), R + rOut, 1e-5f);
    EXPECT_NEAR(last.y(), R, 1e-5f);
}

TEST(BezierTube, RingsArePerpendicularToTheCurveWithLinearRadius)
{
    const Bezier curve({{0.f, 0.f, 0.f}, {2.f, 0.f, 0.f}, {2.f, 2.f, 1.f}, {0.f, 3.f, 3.f}});
    osg::ref_ptr<BezierTube> tube = new BezierTube(curve, 0.2f, 0.4f, kBlue);
    expectOneOverallColourAndStrip(*tube);
    const std::vector<float>& t = tube->ringParameters();
    ASSERT_EQ(t.size(), 100u);
    EXPECT_FLOAT_EQ(t[98], 0.98f);
    EXPECT_EQ(t[99], 1.f);
    const osg::Vec3Array& v = tube->vertices();
    ASSERT_EQ(v.size(), 99u * 82u);
    for (std::size_t strip = 0; strip < 99; ++strip) {
        for (std::size_t j = 0; j < 41; ++j) {
            for (int side = 0; side < 2; ++side) {
                const float param = t[strip + side];
                const std::size_t i = strip * 82 + 2 * j + side;
                const osg::Vec3 out = v[i] - curve.point(param);
                osg::Vec3 tangent = curve.tangent(param);
                tangent.normalize();
                ASSERT_NEAR(out.length(), 0.2f + 0.2f * param, 1e-5f) << i;
                ASSERT_NEAR(out * tangent, 0.f, 1e-4f) << i;
                ASSERT_NEAR(tube->normals()[i] * out / out.length(), 1.f, 1e-4f) << i;
            }
        }
    }
}

TEST(BezierTube, RingsDoNotTwistAlongAPlanarCurve)
{
    // In the xy plane the ring's +z point must stay +z all the way.
    const Bezier curve({{0.f, 0.f, 0.f}, {3.f, 0.f, 0.f}, {3.f, 3.f, 0.f}, {-1.f, 2.f, 0.f}});
    const std::vector<osg::Quat> frames = BezierTube::carriedFrames(curve, {0.f, 0.3f, 0.6f, 1.f});
    for (const osg::Quat& frame : frames) {
        const osg::Vec3 up = frame * osg::Vec3(0.f, 0.f, 1.f);
        EXPECT_NEAR(up.z(), 1.f, 1e-5f);
    }
    // Ring normal at φ = π/2 (index 2·10 on the ring) is +z on every strip.
    osg::ref_ptr<BezierTube> tube = new BezierTube(curve, 0.1f, 0.1f, kBlue);
    for (std::size_t strip = 0; strip < 99; ++strip)
        ASSERT_NEAR(tube->normals()[strip * 82 + 20].z(), 1.f, 1e-4f) << strip;
}

TEST(BezierTube, FlowPipeCurveSamplingAndRebuild)
{
    osg::ref_ptr<BezierTube> tube =
        new BezierTube(osg::Vec3(4.f, 0.f, 0.f), osg::Vec3(1.f, 0.f, 0.f), 0.5f, 0.5f, kBlue);
    // A straight curve: a cylinder along x of length 4.
    EXPECT_NEAR(tube->length(), 4.f, 1e-5f);
    for (const osg::Vec3& p : tube->vertices())
        ASSERT_NEAR(std::hypot(p.y(), p.z()), 0.5f, 1e-5f);

    const osg::ref_ptr<osg::Vec3Array> before = new osg::Vec3Array(tube->vertices());
    tube->sampleCurve();
    EXPECT_TRUE(tube->curve().isSampled());
    EXPECT_EQ(tube->vertices().size(), before->size());
    EXPECT_EQ(tube->vertices()[500], (*before)[500]);

    tube->rebuild(osg::Vec3(0.f, 4.f, 0.f), osg::Vec3(0.f, 1.f, 0.f));
    EXPECT_FALSE(tube->curve().isSampled());
    EXPECT_EQ(tube->curve().point(1.f), osg::Vec3(0.f, 4.f, 0.f));
    EXPECT_GT(tube->length(), 4.f);
    EXPECT_NEAR(std::hypot(tube->vertices().back().x(), tube->vertices().back().z()), 0.5f, 1e-4f);
}
