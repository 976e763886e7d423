// The demo's flexible beam streamed by a simulation and drawn by the real
// viewer on the X display: the model file loads from the shipped data, and
// the pictures show the beam bent up, then down, as the demo's
// displacements arrive.
#include <gtest/gtest.h>

#include <cmath>

#include <osgGA/CameraManipulator>
#include <osgViewer/View>

#include "FlexGlFixture.h"
#include "client/demo/DemoFlex.h"
#include "flex/VisFlexBodyObject.h"
#include "tests/support/Pictures.h"
#include "view/VisViewObject.h"

namespace {

using namespace testsupport;

// The demo beam's yellow, lit from any side: red and green well above blue.
bool yellow(const Rgb& c)
{
    return c.r > 90 && c.g > 70 && c.r > c.b + 60 && c.g > c.b + 40;
}

struct Halves
{
    int above = 0, below = 0;
};

Halves yellowHalves(const osg::Image& image)
{
    Halves halves;
    for (int y = 0; y < image.t(); ++y)
        for (int x = 0; x < image.s(); ++x)
            if (yellow(pixel(image, x, y)))
                ++(y < image.t() / 2 ? halves.above : halves.below);
    return halves;
}

class FlexBodyGl : public flextest::DemoPartGl<DemoFlex>
{
protected:
    // Sends the demo's step at t and draws until the body has the tip
    // deflection of that step.
    osg::ref_ptr<osg::Image> showAt(float t, const std::string& name)
    {
        sendStep(t);
        const float wanted = DemoFlex::vertical(t);
        return pictureWhen(
            [&] {
                auto* body = object<VisFlexBodyObject>(DemoFlex::BEAM);
                return body && body->isInitialized() &&
                       std::abs(body->displacements()->back().z() - wanted) < 1e-4f;
            },
            name);
    }
};

TEST_F(FlexBodyGl, TheDemoBeamBendsUpAndDownOnScreen)
{
    client.connect("127.0.0.1", objects->server().port());
    ASSERT_TRUE(framesUntil([&] { return objects->state() == ObjectManager::Online; }));

    // From the side, level with the clamped end, the beam across the picture.
    const osg::Vec3d centre(DemoFlex::X + DemoFlex::LENGTH / 2, DemoFlex::Y, DemoFlex::Z);
    osgGA::CameraManipulator* manipulator = viewer->mainView()->view()->getCameraManipulator();
    ASSERT_NE(manipulator, nullptr);
    manipulator->setHomePosition(centre + osg::Vec3d(0, -9, 0), centre, osg::Vec3d(0, 0, 1));
    manipulator->home(0.0);

    const float pi = 3.14159265f;
    osg::ref_ptr<osg::Image> up = showAt(pi / 2 / 1.7f, "beam_bent_up");
    osg::ref_ptr<osg::Image> down = showAt(3 * pi / 2 / 1.7f, "beam_bent_down");
    ASSERT_TRUE(up && down);
    const Halves whenUp = yellowHalves(*up);
    const Halves whenDown = yellowHalves(*down);
    EXPECT_GT(whenUp.above + whenUp.below, 500) << "the beam shows";
    EXPECT_GT(whenUp.above, 2 * whenUp.below);
    EXPECT_GT(whenDown.below, 2 * whenDown.above);
    const int total = whenUp.above + whenUp.below;
    EXPECT_NEAR(whenDown.above + whenDown.below, total, total / 3) << "the same beam";
}

} // namespace
