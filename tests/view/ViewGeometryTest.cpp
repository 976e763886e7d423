// The arithmetic of views: viewports from fractions, the head-up display's
// space per aspect mode, and making camera placements usable.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include <osg/CullSettings>

#include "view/ViewGeometry.h"

using namespace view;

namespace {

struct ViewportCase
{
    const char* name;
    osg::Vec2f origin;
    osg::Vec2f size;
    int windowWidth;
    int windowHeight;
    Viewport expected;
};

class ViewportTest : public ::testing::TestWithParam<ViewportCase>
{
};

TEST_P(ViewportTest, FractionsTruncateTowardZero)
{
    const ViewportCase& c = GetParam();
    EXPECT_EQ(viewportFor(c.origin, c.size, c.windowWidth, c.windowHeight), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ViewportTest,
    ::testing::Values(
        ViewportCase{
            "RightHalfOfOddWidth", {0.5f, 0.0f}, {0.5f, 1.0f}, 1001, 600, {500, 0, 500, 600}},
        ViewportCase{"WholeWindow", {0.0f, 0.0f}, {1.0f, 1.0f}, 1024, 768, {0, 0, 1024, 768}},
        // 0.7f is 0.69999998...; its float product with 1000 is exactly 700.
        ViewportCase{"FloatFractionsLandOnWholePixels",
                     {0.3f, 0.1f},
                     {0.7f, 0.9f},
                     1000,
                     1000,
                     {300, 100, 700, 900}},
        ViewportCase{"TopLeftQuarter", {0.0f, 0.5f}, {0.5f, 0.5f}, 801, 601, {0, 300, 400, 300}},
        ViewportCase{"NegativeOriginTruncatesUp",
                     {-0.25f, -0.5f},
                     {1.0f, 1.0f},
                     1001,
                     3,
                     {-250, -1, 1001, 3}},
        ViewportCase{"EmptyWindow", {0.5f, 0.5f}, {0.5f, 0.5f}, 0, 0, {0, 0, 0, 0}}),
    [](const auto& row) { return std::string(row.param.name); });

struct HudCase
{
    const char* name;
    int mode;
    int width;
    int height;
    double right;
    double top;
};

class HudExtentTest : public ::testing::TestWithParam<HudCase>
{
};

TEST_P(HudExtentTest, SpaceOfMode)
{
    const HudCase& c = GetParam();
    const HudExtent extent = hudExtent(c.mode, c.width, c.height);
    EXPECT_DOUBLE_EQ(extent.right, c.right);
    EXPECT_DOUBLE_EQ(extent.top, c.top);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HudExtentTest,
    ::testing::Values(HudCase{"HeightIs1000Wide", 0, 2000, 1000, 2000.0, 1000.0},
                      HudCase{"HeightIs1000Tall", 0, 500, 1000, 500.0, 1000.0},
                      HudCase{"WidthIs1000Wide", 1, 2000, 1000, 1000.0, 500.0},
                      HudCase{"WidthIs1000Tall", 1, 500, 1000, 1000.0, 2000.0},
                      HudCase{"ShorterSideWide", 2, 2000, 1000, 2000.0, 1000.0},
                      HudCase{"ShorterSideTall", 2, 500, 1000, 1000.0, 2000.0},
                      HudCase{"ShorterSideSquare", 2, 640, 640, 1000.0, 1000.0},
                      HudCase{"OtherModeStretches", 3, 2000, 1000, 1000.0, 1000.0},
                      HudCase{"NegativeModeStretches", -1, 500, 1000, 1000.0, 1000.0},
                      HudCase{"NoHeightStretches", 0, 640, 0, 1000.0, 1000.0},
                      HudCase{"NoWidthStretches", 1, 0, 480, 1000.0, 1000.0}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(HudProjectionTest, MapsTheSpaceOntoTheViewport)
{
    // Mode 0 in a 1600 x 800 viewport: x from 0 to 2000, y from 0 to 1000,
    // depth 0 to 100 in front of the camera.
    const osg::Matrixd projection = hudProjection(0, 1600, 800);
    const osg::Vec3d lowerLeft = osg::Vec3d(0.0, 0.0, 0.0) * projection;
    const osg::Vec3d upperRight = osg::Vec3d(2000.0, 1000.0, -100.0) * projection;
    const osg::Vec3d middle = osg::Vec3d(1000.0, 500.0, -50.0) * projection;
    EXPECT_NEAR(lowerLeft.x(), -1.0, 1e-12);
    EXPECT_NEAR(lowerLeft.y(), -1.0, 1e-12);
    EXPECT_NEAR(lowerLeft.z(), -1.0, 1e-12);
    EXPECT_NEAR(upperRight.x(), 1.0, 1e-12);
    EXPECT_NEAR(upperRight.y(), 1.0, 1e-12);
    EXPECT_NEAR(upperRight.z(), 1.0, 1e-12);
    EXPECT_NEAR(middle.length(), 0.0, 1e-12);
}

TEST(CullingModeTest, NoClipKeepsWhatLiesOutsideTheFrustum)
{
    EXPECT_EQ(cullingModeFor(true) & osg::CullSettings::VIEW_FRUSTUM_CULLING, 0u);
    EXPECT_EQ(cullingModeFor(true), 0x38u);
    EXPECT_EQ(cullingModeFor(false), 0x3Fu);
}

TEST(UsableLookAtTest, EyeOnTheCentreHasNoDirection)
{
    const osg::Vec3d p(1.0, 2.0, 3.0);
    EXPECT_FALSE(usableLookAt(p, p, osg::Vec3d(0.0, 0.0, 1.0)).valid);
}

TEST(UsableLookAtTest, NonFiniteValuesAreRejected)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(usableLookAt(osg::Vec3d(nan, 0.0, 0.0), osg::Vec3d(), osg::Vec3d(0, 0, 1)).valid);
    EXPECT_FALSE(usableLookAt(osg::Vec3d(0, -1, 0), osg::Vec3d(), osg::Vec3d(0, 0, nan)).valid);
}

TEST(UsableLookAtTest, GoodPlacementIsKept)
{
    const LookAt placement =
        usableLookAt(osg::Vec3d(0, -10, 2), osg::Vec3d(0, 0, 1), osg::Vec3d(0, 0, 2));
    ASSERT_TRUE(placement.valid);
    EXPECT_EQ(placement.eye, osg::Vec3d(0, -10, 2));
    EXPECT_EQ(placement.centre, osg::Vec3d(0, 0, 1));
    EXPECT_EQ(placement.up, osg::Vec3d(0, 0, 2));
}

TEST(UsableLookAtTest, MissingOrParallelUpBecomesAnAxisAcrossTheView)
{
    // No up (an absent item 58) while looking along y: z is up.
    const LookAt noUp = usableLookAt(osg::Vec3d(0, -10, 0), osg::Vec3d(), osg::Vec3d());
    ASSERT_TRUE(noUp.valid);
    EXPECT_EQ(noUp.up, osg::Vec3d(0, 0, 1));
    // Looking straight down with z as up: y becomes up.
    const LookAt down = usableLookAt(osg::Vec3d(0, 0, 10), osg::Vec3d(), osg::Vec3d(0, 0, 1));
    ASSERT_TRUE(down.valid);
    EXPECT_EQ(down.up, osg::Vec3d(0, 1, 0));
    // Either way the camera matrix is well defined.
    const osg::Matrixd view = osg::Matrixd::lookAt(down.eye, down.centre, down.up);
    for (int i = 0; i < 16; ++i)
        EXPECT_TRUE(std::isfinite(view.ptr()[i]));
}

} // namespace

// --- framing ------------------------------------------------------------------------

namespace {

// The angle under which the sphere's outline is seen from the placement.
double seenHalfAngle(const LookAt& at, double radius)
{
    return std::asin(radius / (at.eye - at.centre).length());
}

osg::Vec3d unitOf(osg::Vec3d v)
{
    v.normalize();
    return v;
}

} // namespace

TEST(Framing, LooksAtTheCentreFromTheDirectionWithZUp)
{
    const LookAt at = framingLookAt({2, 3, 1}, 1.5, {4, -4, 4}, 30.0, 4.0 / 3.0);
    ASSERT_TRUE(at.valid);
    EXPECT_EQ(at.centre, osg::Vec3d(2, 3, 1));
    EXPECT_NEAR((unitOf(at.eye - at.centre) - unitOf({1, -1, 1})).length(), 0.0, 1e-12);
    EXPECT_EQ(at.up, osg::Vec3d(0, 0, 1));
}

TEST(Framing, TheSphereFillsTheSameShareOfTheNarrowerAngle)
{
    const double halfVertical = osg::DegreesToRadians(15.0);
    // Wide viewport: the vertical angle is the narrower one.
    EXPECT_NEAR(seenHalfAngle(framingLookAt({}, 2.0, {0, -1, 0}, 30.0, 2.0), 2.0),
                FRAMED_SHARE * halfVertical, 1e-9);
    // Tall viewport: the horizontal one.
    const double halfHorizontal = std::atan(std::tan(halfVertical) * 0.5);
    EXPECT_NEAR(seenHalfAngle(framingLookAt({}, 2.0, {0, -1, 0}, 30.0, 0.5), 2.0),
                FRAMED_SHARE * halfHorizontal, 1e-9);
    // Distance grows with the radius.
    const LookAt small = framingLookAt({}, 1.0, {0, -1, 0}, 30.0, 1.0);
    const LookAt large = framingLookAt({}, 10.0, {0, -1, 0}, 30.0, 1.0);
    EXPECT_NEAR(large.eye.length(), 10.0 * small.eye.length(), 1e-9);
}

TEST(Framing, UnusableInputsFallBackToSensibleValues)
{
    // No direction: the standard (1, -1, 1); looking straight down: y up.
    const LookAt none = framingLookAt({}, 1.0, {0, 0, 0}, 30.0, 1.0);
    EXPECT_NEAR((unitOf(none.eye) - unitOf({1, -1, 1})).length(), 0.0, 1e-12);
    const LookAt down = framingLookAt({}, 1.0, {0, 0, 3}, 30.0, 1.0);
    ASSERT_TRUE(down.valid);
    EXPECT_EQ(down.up, osg::Vec3d(0, 1, 0));
    // A point (radius 0) or a broken field of view still give a placement
    // at a finite distance.
    for (const LookAt& at :
         {framingLookAt({}, 0.0, {1, 0, 0}, 30.0, 1.0), framingLookAt({}, 1.0, {1, 0, 0}, 0.0, 1.0),
          framingLookAt({}, 1.0, {1, 0, 0}, 30.0, 0.0),
          framingLookAt({}, std::nan(""), {1, 0, 0}, 30.0, 1.0)}) {
        EXPECT_TRUE(at.valid);
        EXPECT_TRUE(std::isfinite(at.eye.length()));
        EXPECT_GT(at.eye.length(), 1.0);
    }
}
