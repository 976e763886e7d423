// Reading a view's creating packet: every required item, the stereo items
// that count only for own-screen views, and the placement items.

#include <gtest/gtest.h>

#include <functional>

#include "gnp2/Packet.h"
#include "view/ViewParameters.h"

using namespace view;
using namespace view::viewItems;

namespace {

// A complete creating packet of a view in the right half of the window.
void fillView(GNP2::Packet& p)
{
    p.setIntVector(CAMERA_CONTROL, {0});
    p.setFloatVector(VIEWPORT_ORIGIN, {0.5f, 0.0f});
    p.setFloatVector(VIEWPORT_SIZE, {0.5f, 1.0f});
    p.setIntVector(OWN_SCREEN, {0});
    p.setIntVector(SCREEN, {3});
    p.setIntVector(BACKGROUND, {255, 51, 0});
    p.setFloatVector(NEAR_PLANE, {0.5f});
    p.setFloatVector(FAR_PLANE, {800.0f});
    p.setFloatVector(FIELD_OF_VIEW, {45.0f});
    p.setIntVector(HAS_HUD, {1});
    p.setIntVector(HUD_ASPECT_MODE, {2});
}

void makeStereo(GNP2::Packet& p)
{
    p.setIntVector(OWN_SCREEN, {1});
    p.setIntVector(STEREO, {1, 4});
    p.setFloatVector(STEREO_GEOMETRY, {0.065f, 1.5f});
}

TEST(ViewParametersTest, ReadsEveryCreationItem)
{
    GNP2::Packet packet;
    fillView(packet);
    const ViewParameters p = readViewCreation(packet);
    EXPECT_EQ(p.origin, osg::Vec2f(0.5f, 0.0f));
    EXPECT_EQ(p.size, osg::Vec2f(0.5f, 1.0f));
    EXPECT_FALSE(p.ownScreen);
    EXPECT_EQ(p.screen, 3);
    EXPECT_FLOAT_EQ(p.clearColour.r(), 1.0f);
    EXPECT_FLOAT_EQ(p.clearColour.g(), 0.2f);
    EXPECT_FLOAT_EQ(p.clearColour.b(), 0.0f);
    EXPECT_FLOAT_EQ(p.clearColour.a(), 1.0f);
    EXPECT_FLOAT_EQ(p.nearPlane, 0.5f);
    EXPECT_FLOAT_EQ(p.farPlane, 800.0f);
    EXPECT_FLOAT_EQ(p.fieldOfView, 45.0f);
    EXPECT_TRUE(p.hasHud);
    EXPECT_EQ(p.hudAspectMode, 2);
    EXPECT_FALSE(p.stereoPair);
}

TEST(ViewParametersTest, StereoItemsCountOnlyForOwnScreenViews)
{
    GNP2::Packet packet;
    fillView(packet);
    // A view in the main window ignores stereo items, even malformed ones.
    packet.setIntVector(STEREO, {1});
    EXPECT_FALSE(readViewCreation(packet).stereoPair);

    makeStereo(packet);
    const ViewParameters stereo = readViewCreation(packet);
    EXPECT_TRUE(stereo.ownScreen);
    EXPECT_TRUE(stereo.stereoPair);
    EXPECT_EQ(stereo.rightEyeScreen, 4);
    EXPECT_FLOAT_EQ(stereo.eyeSeparation, 0.065f);
    EXPECT_FLOAT_EQ(stereo.screenDistance, 1.5f);

    // Not a pair: item 97 is not needed.
    packet.setIntVector(STEREO, {0, 1});
    packet.removeItem(STEREO_GEOMETRY);
    const ViewParameters single = readViewCreation(packet);
    EXPECT_TRUE(single.ownScreen);
    EXPECT_FALSE(single.stereoPair);
}

struct BrokenItem
{
    const char* name;
    int item;
    std::function<void(GNP2::Packet&)> breakIt;
};

class BrokenCreationTest : public ::testing::TestWithParam<BrokenItem>
{
};

TEST_P(BrokenCreationTest, NamesTheItem)
{
    GNP2::Packet packet;
    fillView(packet);
    GetParam().breakIt(packet);
    try {
        readViewCreation(packet);
        FAIL() << "no exception";
    } catch (const GNP2::GNP2Exception& error) {
        EXPECT_EQ(error.getErrorNumber(), GetParam().item);
        EXPECT_STREQ(error.what(), GNP2::ACCESSOR_ERROR);
    }
}

std::function<void(GNP2::Packet&)> without(int item)
{
    return [item](GNP2::Packet& p) { p.removeItem(item); };
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BrokenCreationTest,
    ::testing::Values(BrokenItem{"NoOwnScreen", OWN_SCREEN, without(OWN_SCREEN)},
                      BrokenItem{"NoAspectMode", HUD_ASPECT_MODE, without(HUD_ASPECT_MODE)},
                      BrokenItem{"NoOrigin", VIEWPORT_ORIGIN, without(VIEWPORT_ORIGIN)},
                      BrokenItem{"NoSize", VIEWPORT_SIZE, without(VIEWPORT_SIZE)},
                      BrokenItem{"NoScreen", SCREEN, without(SCREEN)},
                      BrokenItem{"NoHud", HAS_HUD, without(HAS_HUD)},
                      BrokenItem{"NoNear", NEAR_PLANE, without(NEAR_PLANE)},
                      BrokenItem{"NoFar", FAR_PLANE, without(FAR_PLANE)},
                      BrokenItem{"NoFieldOfView", FIELD_OF_VIEW, without(FIELD_OF_VIEW)},
                      BrokenItem{"NoBackground", BACKGROUND, without(BACKGROUND)},
                      BrokenItem{
                          "ShortOrigin", VIEWPORT_ORIGIN,
                          [](GNP2::Packet& p) { p.setFloatVector(VIEWPORT_ORIGIN, {0.5f}); }},
                      BrokenItem{"ShortBackground", BACKGROUND,
                                 [](GNP2::Packet& p) {
                                     p.setIntVector(BACKGROUND, {10, 20});
                                 }},
                      BrokenItem{"BackgroundAsFloats", BACKGROUND,
                                 [](GNP2::Packet& p) {
                                     p.setFloatVector(BACKGROUND, {1.0f, 0.0f, 0.0f});
                                 }},
                      BrokenItem{"NearAsInteger", NEAR_PLANE,
                                 [](GNP2::Packet& p) { p.setIntVector(NEAR_PLANE, {1}); }},
                      BrokenItem{"OwnScreenWithoutStereoItem", STEREO,
                                 [](GNP2::Packet& p) { p.setIntVector(OWN_SCREEN, {1}); }},
                      BrokenItem{"StereoWithoutGeometry", STEREO_GEOMETRY,
                                 [](GNP2::Packet& p) {
                                     makeStereo(p);
                                     p.removeItem(STEREO_GEOMETRY);
                                 }},
                      BrokenItem{"StereoWithShortGeometry", STEREO_GEOMETRY,
                                 [](GNP2::Packet& p) {
                                     makeStereo(p);
                                     p.setFloatVector(STEREO_GEOMETRY, {0.06f});
                                 }}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(ReadPlacementTest, TakesPresentItemsAndKeepsTheRest)
{
    CameraPlacement placement;
    placement.eye.set(9, 9, 9);
    GNP2::Packet packet;
    packet.setFloatVector(CENTRE, {1.0f, 2.0f, 3.0f});
    packet.setFloatVector(UP, {0.0f, 0.0f, 1.0f});
    packet.setFloatVector(HOME_EYE, {0.0f, -50.0f, 10.0f});
    packet.setFloatVector(EYE, {4.0f, 5.0f}); // too short: not taken
    readPlacement(packet, placement);
    EXPECT_EQ(placement.eye, osg::Vec3d(9, 9, 9));
    EXPECT_EQ(placement.centre, osg::Vec3d(1, 2, 3));
    EXPECT_EQ(placement.up, osg::Vec3d(0, 0, 1));
    EXPECT_EQ(placement.homeEye, osg::Vec3d(0, -50, 10));
}

} // namespace
