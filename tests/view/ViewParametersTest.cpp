// Reading a view's creating packet: every required item, the stereo items
// that count only for own-screen views, and the placement items.

#include <gtest/gtest.h>

#include <functional>

#include "gnp2/Packet.h"
#include "view/ViewParameters.h"

using namespace view;

namespace {

// A complete creating packet of a view in the right half of the window.
void fillView(GNP2::Packet& p)
{
    p.setIntVector(item::view::CameraControl, {0});
    p.setFloatVector(item::view::ViewportOrigin, {0.5f, 0.0f});
    p.setFloatVector(item::view::ViewportSize, {0.5f, 1.0f});
    p.setIntVector(item::view::OwnWindow, {0});
    p.setIntVector(item::view::Screen, {3});
    p.setIntVector(item::view::Background, {255, 51, 0});
    p.setFloatVector(item::view::Near, {0.5f});
    p.setFloatVector(item::view::Far, {800.0f});
    p.setFloatVector(item::view::FieldOfView, {45.0f});
    p.setIntVector(item::view::ShowHud, {1});
    p.setIntVector(item::view::HudAspect, {2});
}

void makeStereo(GNP2::Packet& p)
{
    p.setIntVector(item::view::OwnWindow, {1});
    p.setIntVector(item::view::Stereo, {1, 4});
    p.setFloatVector(item::view::StereoGeometry, {0.065f, 1.5f});
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
    packet.setIntVector(item::view::Stereo, {1});
    EXPECT_FALSE(readViewCreation(packet).stereoPair);

    makeStereo(packet);
    const ViewParameters stereo = readViewCreation(packet);
    EXPECT_TRUE(stereo.ownScreen);
    EXPECT_TRUE(stereo.stereoPair);
    EXPECT_EQ(stereo.rightEyeScreen, 4);
    EXPECT_FLOAT_EQ(stereo.eyeSeparation, 0.065f);
    EXPECT_FLOAT_EQ(stereo.screenDistance, 1.5f);

    // Not a pair: item 97 is not needed.
    packet.setIntVector(item::view::Stereo, {0, 1});
    packet.removeItem(item::view::StereoGeometry);
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
    ::testing::Values(
        BrokenItem{"NoOwnScreen", item::view::OwnWindow, without(item::view::OwnWindow)},
        BrokenItem{"NoAspectMode", item::view::HudAspect, without(item::view::HudAspect)},
        BrokenItem{"NoOrigin", item::view::ViewportOrigin, without(item::view::ViewportOrigin)},
        BrokenItem{"NoSize", item::view::ViewportSize, without(item::view::ViewportSize)},
        BrokenItem{"NoScreen", item::view::Screen, without(item::view::Screen)},
        BrokenItem{"NoHud", item::view::ShowHud, without(item::view::ShowHud)},
        BrokenItem{"NoNear", item::view::Near, without(item::view::Near)},
        BrokenItem{"NoFar", item::view::Far, without(item::view::Far)},
        BrokenItem{"NoFieldOfView", item::view::FieldOfView, without(item::view::FieldOfView)},
        BrokenItem{"NoBackground", item::view::Background, without(item::view::Background)},
        BrokenItem{"ShortOrigin", item::view::ViewportOrigin,
                   [](GNP2::Packet& p) { p.setFloatVector(item::view::ViewportOrigin, {0.5f}); }},
        BrokenItem{"ShortBackground", item::view::Background,
                   [](GNP2::Packet& p) {
                       p.setIntVector(item::view::Background, {10, 20});
                   }},
        BrokenItem{"BackgroundAsFloats", item::view::Background,
                   [](GNP2::Packet& p) {
                       p.setFloatVector(item::view::Background, {1.0f, 0.0f, 0.0f});
                   }},
        BrokenItem{"NearAsInteger", item::view::Near,
                   [](GNP2::Packet& p) { p.setIntVector(item::view::Near, {1}); }},
        BrokenItem{"OwnScreenWithoutStereoItem", item::view::Stereo,
                   [](GNP2::Packet& p) { p.setIntVector(item::view::OwnWindow, {1}); }},
        BrokenItem{"StereoWithoutGeometry", item::view::StereoGeometry,
                   [](GNP2::Packet& p) {
                       makeStereo(p);
                       p.removeItem(item::view::StereoGeometry);
                   }},
        BrokenItem{"StereoWithShortGeometry", item::view::StereoGeometry,
                   [](GNP2::Packet& p) {
                       makeStereo(p);
                       p.setFloatVector(item::view::StereoGeometry, {0.06f});
                   }}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(ReadPlacementTest, TakesPresentItemsAndKeepsTheRest)
{
    CameraPlacement placement;
    placement.eye.set(9, 9, 9);
    GNP2::Packet packet;
    packet.setFloatVector(item::view::Centre, {1.0f, 2.0f, 3.0f});
    packet.setFloatVector(item::view::Up, {0.0f, 0.0f, 1.0f});
    packet.setFloatVector(item::view::HomeEye, {0.0f, -50.0f, 10.0f});
    packet.setFloatVector(item::view::Eye, {4.0f, 5.0f}); // too short: not taken
    readPlacement(packet, placement);
    EXPECT_EQ(placement.eye, osg::Vec3d(9, 9, 9));
    EXPECT_EQ(placement.centre, osg::Vec3d(1, 2, 3));
    EXPECT_EQ(placement.up, osg::Vec3d(0, 0, 1));
    EXPECT_EQ(placement.homeEye, osg::Vec3d(0, -50, 10));
}

} // namespace
