// The demo's sheet of water streamed by a simulation and drawn by the real
// viewer on the X display: seen from above, its per-vertex colours show
// (blue troughs, pale crests) and the picture changes as the waves move.
#include <gtest/gtest.h>

#include <cmath>

#include <osgGA/CameraManipulator>
#include <osgViewer/View>

#include "FlexGlFixture.h"
#include "client/demo/DemoSurface.h"
#include "flex/VisFlexSurfaceObject.h"
#include "tests/support/Pictures.h"
#include "view/VisViewObject.h"

namespace {

using namespace testsupport;

struct Shades
{
    int deep = 0;  // saturated blue: a trough
    int crest = 0; // near white: a crest
};

Shades shades(const osg::Image& image)
{
    Shades counted;
    for (int y = 0; y < image.t(); ++y)
        for (int x = 0; x < image.s(); ++x) {
            const Rgb c = pixel(image, x, y);
            if (c.b > 90 && c.b > c.r + 60 && c.g > c.r + 20)
                ++counted.deep;
            else if (c.r > 150 && c.g > 150 && c.b > 150)
                ++counted.crest;
        }
    return counted;
}

class FlexSurfaceGl : public flextest::DemoPartGl<DemoSurface>
{
protected:
    // Sends the demo's step at t and draws until the sheet has its heights.
    osg::ref_ptr<osg::Image> showAt(float t, const std::string& name)
    {
        sendStep(t);
        const int r = DemoSurface::ROWS - 1, c = 3;
        const float wanted = DemoSurface::height(r, c, t);
        return pictureWhen(
            [&] {
                auto* sheet = object<VisFlexSurfaceObject>(DemoSurface::SHEET);
                return sheet && sheet->surface() &&
                       std::abs(sheet->surface()
                                    ->vertices()[std::size_t(r * DemoSurface::COLUMNS + c)]
                                    .z() -
                                wanted) < 1e-5f;
            },
            name);
    }
};

TEST_F(FlexSurfaceGl, TheDemoSheetShowsItsColoursAndWaves)
{
    client.connect("127.0.0.1", objects->server().port());
    ASSERT_TRUE(framesUntil([&] { return objects->state() == ObjectManager::Online; }));

    // From straight above the sheet's centre, the sheet filling most of the
    // picture.
    const float half = DemoSurface::SIZE / 2;
    const osg::Vec3d centre(DemoSurface::X + half, DemoSurface::Y + half, DemoSurface::Z);
    osgGA::CameraManipulator* manipulator = viewer->mainView()->view()->getCameraManipulator();
    ASSERT_NE(manipulator, nullptr);
    manipulator->setHomePosition(centre + osg::Vec3d(0, 0, 6), centre, osg::Vec3d(0, 1, 0));
    manipulator->home(0.0);

    osg::ref_ptr<osg::Image> first = showAt(0.0f, "sheet_at_0");
    osg::ref_ptr<osg::Image> later = showAt(1.2f, "sheet_at_1.2");
    ASSERT_TRUE(first && later);
    const Shades a = shades(*first), b = shades(*later);
    const int pixels = first->s() * first->t();
    EXPECT_GT(a.deep, pixels / 50) << "blue troughs show";
    EXPECT_GT(a.crest, pixels / 100) << "pale crests show";
    EXPECT_GT(b.deep, pixels / 50);

    // The waves moved: many pixels changed colour.
    int changed = 0;
    for (int y = 0; y < first->t(); ++y)
        for (int x = 0; x < first->s(); ++x) {
            const Rgb p = pixel(*first, x, y), q = pixel(*later, x, y);
            if (std::abs(p.r - q.r) + std::abs(p.g - q.g) + std::abs(p.b - q.b) > 60)
                ++changed;
        }
    EXPECT_GT(changed, pixels / 20);
}

} // namespace
