// The demo's flexible beam streamed by a simulation and drawn by the real
// viewer on the X display: the model file loads from the shipped data, and
// the pictures show the beam bent up, then down, as the demo's
// displacements arrive.
#include <QCoreApplication>
#include <QMainWindow>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>

#include <osgGA/CameraManipulator>
#include <osgViewer/View>

#include "FlexTestSupport.h"
#include "client/SimulationClient.h"
#include "client/demo/DemoFlex.h"
#include "files/FileManager.h"
#include "flex/FlexObjects.h"
#include "flex/VisFlexBodyObject.h"
#include "net/TCPServer.h"
#include "scene/ObjectManager.h"
#include "tests/support/GlHarness.h"
#include "tests/support/Pictures.h"
#include "view/CompositeViewerQOSG.h"
#include "view/ViewerManager.h"
#include "view/VisViewObject.h"

namespace {

using namespace std::chrono_literals;
using namespace testsupport;

constexpr int WIDTH = 480;
constexpr int HEIGHT = 360;

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

class FlexBodyGl : public ::testing::Test
{
protected:
    void SetUp() override
    {
        glErrors().clear();
        flextest::useTestSettings();
        FileManager::Options options;
        options.runCleaningThread = false;
        files = std::make_unique<FileManager>(options);
        registerFlexObjects(factory);

        sceneRoot = new osg::Group;
        hudRoot = new osg::Group;
        window = std::make_unique<QMainWindow>();
        window->resize(WIDTH, HEIGHT);
        viewer = std::make_unique<ViewerManager>(window.get(), sceneRoot.get(), hudRoot.get(),
                                                 ViewerManager::Embedding::GLWidget);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        objects = std::make_unique<ObjectManager>(
            sceneRoot.get(), hudRoot.get(), 0,
            ObjectServices{.viewHost = viewer.get(), .files = files.get()},
            QString::fromStdString(folder.path().toStdString()), factory);
        ASSERT_TRUE(objects->server().waitUntilListening(5000ms));
        frame();
        checkGlErrors(*viewer);
    }

    void TearDown() override
    {
        client.close();
        objects.reset();
        viewer.reset();
        window.reset();
        files.reset();
        expectNoGlErrors();
    }

    void frame()
    {
        objects->updateStatus();
        QCoreApplication::processEvents();
        viewer->viewer()->frame();
    }

    template <typename Done> bool framesUntil(Done done)
    {
        const auto limit = std::chrono::steady_clock::now() + 20s;
        while (!done()) {
            if (std::chrono::steady_clock::now() > limit)
                return false;
            frame();
            std::this_thread::sleep_for(2ms);
        }
        return true;
    }

    VisFlexBodyObject* beam()
    {
        return dynamic_cast<VisFlexBodyObject*>(
            objects->updateCallback().findObject(0, DemoFlex::BEAM));
    }

    // Sends the demo's step at t and draws until the body has the tip
    // deflection of that step.
    osg::ref_ptr<osg::Image> showAt(float t, const std::string& name)
    {
        demo.step(client, t, sent);
        sent = true;
        client.flush();
        const float wanted = DemoFlex::vertical(t);
        const bool arrived = framesUntil([&] {
            VisFlexBodyObject* body = beam();
            if (!body || !body->isInitialized())
                return false;
            const osg::Vec3Array* d = body->displacements();
            return std::abs(d->back().z() - wanted) < 1e-4f;
        });
        EXPECT_TRUE(arrived) << name;
        frame();
        osg::ref_ptr<osg::Image> image = viewer->grabWindowImage();
        if (image)
            keepPicture(*image, name);
        return image;
    }

    QTemporaryDir folder;
    std::unique_ptr<FileManager> files;
    ObjectFactory factory;
    osg::ref_ptr<osg::Group> sceneRoot, hudRoot;
    std::unique_ptr<QMainWindow> window;
    std::unique_ptr<ViewerManager> viewer;
    std::unique_ptr<ObjectManager> objects;
    orvane::SimulationClient client;
    DemoFlex demo;
    bool sent = false;
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
