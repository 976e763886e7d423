// The head-up display's units: where a pointer lands for each aspect mode
// and window shape, and that it agrees with the space the HUD camera shows.

#include <gtest/gtest.h>

#include "scene/HudUnits.h"

namespace {

struct PointerRow
{
    const char* name;
    int mode;
    double width, height; // the viewport in pixels
    double dx, dy;        // the pointer, from the lower left corner
    double x, y;          // where it lands in HUD units
};

class HudPointer : public ::testing::TestWithParam<PointerRow>
{
};

TEST_P(HudPointer, LandsWhereTheModeSays)
{
    const PointerRow& row = GetParam();
    const osg::Vec2d landed = hud::hudPointer(row.mode, row.dx, row.dy, row.width, row.height);
    EXPECT_NEAR(landed.x(), row.x, 1e-9);
    EXPECT_NEAR(landed.y(), row.y, 1e-9);
}

INSTANTIATE_TEST_SUITE_P(ModesAndShapes, HudPointer,
                         ::testing::Values(
                             // Mode 0: 1000 units over the height, whatever the width.
                             PointerRow{"height_wide", 0, 800, 400, 400, 200, 1000, 500},
                             PointerRow{"height_tall", 0, 400, 800, 400, 800, 500, 1000},
                             // Mode 1: 1000 units over the width.
                             PointerRow{"width_wide", 1, 800, 400, 400, 200, 500, 250},
                             PointerRow{"width_tall", 1, 400, 800, 400, 800, 1000, 2000},
                             // Mode 2: the shorter side; a square counts as wide.
                             PointerRow{"shorter_wide", 2, 800, 400, 800, 400, 2000, 1000},
                             PointerRow{"shorter_tall", 2, 400, 800, 400, 800, 1000, 2000},
                             PointerRow{"shorter_square", 2, 500, 500, 250, 500, 500, 1000},
                             // Any other mode: each direction on its own.
                             PointerRow{"stretched", 3, 800, 400, 200, 100, 250, 250},
                             PointerRow{"stretched_negative_mode", -1, 800, 400, 800, 0, 1000, 0},
                             // A viewport without area: the origin, never a division by zero.
                             PointerRow{"no_height", 0, 800, 0, 10, 10, 0, 0},
                             PointerRow{"no_width", 1, 0, 600, 10, 10, 0, 0}),
                         [](const ::testing::TestParamInfo<PointerRow>& row) {
                             return std::string(row.param.name);
                         });

TEST(HudPointer, TheViewportsUpperRightCornerIsTheCamerasUpperRightEdge)
{
    for (int mode : {0, 1, 2, 5})
        for (const auto& [w, h] :
             {std::pair{1280, 1024}, std::pair{640, 960}, std::pair{333, 333}}) {
            SCOPED_TRACE(testing::Message() << "mode " << mode << ", " << w << " x " << h);
            const hud::HudExtent extent = hud::hudExtent(mode, w, h);
            const osg::Vec2d corner = hud::hudPointer(mode, w, h, w, h);
            EXPECT_NEAR(corner.x(), extent.right, 1e-9);
            EXPECT_NEAR(corner.y(), extent.top, 1e-9);
        }
}

} // namespace
