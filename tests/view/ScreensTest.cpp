// Views in full-screen windows of their own, on a display with two screens:
// a view on the second screen fills it, and a stereo pair puts one eye on
// each screen, both following one camera. The program starts its own X
// server with two screens (800 x 600 and 640 x 480) before the application
// exists, so it does not depend on the display it is run under.

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QMainWindow>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <osg/Geode>
#include <osg/ShapeDrawable>
#include <osgViewer/GraphicsWindow>
#include <osgViewer/View>

#include "scene/ObjectKinds.h"
#include "view/CompositeViewerQOSG.h"
#include "view/ViewParameters.h"
#include "view/ViewerManager.h"
#include "view/VisViewObject.h"

#include "tests/support/GlHarness.h"
#include "tests/support/GlTestMain.h"
#include "tests/support/Packets.h"
#include "tests/support/Pictures.h"
#include "tests/support/PrivateXServer.h"

using namespace testsupport;

namespace {

// Lives until the process ends, after the application.
std::unique_ptr<PrivateXServer> twoScreens;

const GlMainStep startTwoScreens(GlMainStep::BeforeApplication, [] {
    twoScreens = std::make_unique<PrivateXServer>(
        std::vector<std::string>{"-screen", "0", "800x600x24", "-screen", "1", "640x480x24"});
    if (twoScreens->name().empty()) {
        std::fprintf(stderr, "test_view_screens: cannot start Xvfb with two screens: %s\n",
                     twoScreens->diagnosis().c_str());
        return false;
    }
    setenv("DISPLAY", twoScreens->name().c_str(), 1);
    return true;
});

class ScreensTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(QGuiApplication::screens().size(), 2);
        _sceneRoot = new osg::Group;
        _harness = std::make_unique<ViewerHarness>(Embedding::NativeWindow, QSize(400, 300),
                                                   _sceneRoot.get(), new osg::Group);
        ASSERT_TRUE(_harness->exposed());
        _manager = &_harness->manager();
    }

    void TearDown() override
    {
        _harness.reset();
        expectNoGlErrors();
    }

    void settle(int frames = 2) { _harness->settle(frames); }
    VisViewObject* create(const GNP2::Packet& packet) { return _harness->create(packet); }

    // What the X server shows of a screen's full-screen window.
    QImage shownOn(int screen)
    {
        QWidget* window = _manager->screenWidget(screen);
        EXPECT_TRUE(window);
        if (!window)
            return {};
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window));
        settle();
        QImage image = window->screen()->grabWindow(window->winId()).toImage();
        keepPicture(image,
                    QString("screen%1_%2")
                        .arg(screen)
                        .arg(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        return image;
    }

    static Rgb at(const QImage& image, int x, int y)
    {
        const QRgb p = image.pixel(x, y);
        return rgbOf(qRed(p), qGreen(p), qBlue(p));
    }

    osg::ref_ptr<osg::Group> _sceneRoot;
    std::unique_ptr<ViewerHarness> _harness;
    ViewerManager* _manager = nullptr;
};

TEST_F(ScreensTest, ViewOnTheSecondScreenFillsIt)
{
    auto packet = viewPacket(1, {40, 160, 220}, {0.0f, 0.0f}, {1.0f, 1.0f});
    packet->setIntVector(item::view::OwnWindow, {1});
    packet->setIntVector(item::view::Screen, {1});
    packet->setIntVector(item::view::Stereo, {0, 0});
    VisViewObject* view = create(*packet);
    ASSERT_TRUE(view && view->isInitialized());

    QWidget* window = _manager->screenWidget(1);
    ASSERT_TRUE(window);
    EXPECT_EQ(window->screen(), QGuiApplication::screens().at(1));
    EXPECT_TRUE(window->isFullScreen());
    EXPECT_EQ(view->graphicsWindow(), _manager->screenWindow(1));
    EXPECT_EQ(view->graphicsWindow()->getTraits()->screenNum, 1);
    EXPECT_EQ(view->viewport(), (view::Viewport{0, 0, 640, 480}));

    const QImage shown = shownOn(1);
    ASSERT_EQ(shown.size(), QSize(640, 480));
    for (const QPoint p : {QPoint(0, 0), QPoint(320, 240), QPoint(639, 479)})
        EXPECT_TRUE(near(at(shown, p.x(), p.y()), rgbOf(40, 160, 220)))
            << p.x() << "," << p.y() << " " << text(at(shown, p.x(), p.y()));
    EXPECT_EQ(_manager->screenWidget(0), nullptr);
}

TEST_F(ScreensTest, StereoPairOccupiesBothScreensAndMovesAsOne)
{
    osg::ref_ptr<osg::ShapeDrawable> shape = new osg::ShapeDrawable(new osg::Box(osg::Vec3(), 4));
    shape->setColor(osg::Vec4(0, 1, 0, 1));
    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    geode->addDrawable(shape.get());
    geode->getOrCreateStateSet()->setMode(GL_LIGHTING, osg::StateAttribute::OFF);
    _sceneRoot->addChild(geode.get());

    auto packet = viewPacket(1, {90, 20, 90}, {0.0f, 0.0f}, {1.0f, 1.0f});
    packet->setIntVector(item::view::OwnWindow, {1});
    packet->setIntVector(item::view::Screen, {0});
    packet->setIntVector(item::view::Stereo, {1, 1});
    // Eyes 2 units apart. The trackball fuses at its centre, so the box's
    // near faces lie in front of the fusion plane: the left eye sees the box
    // further right than the right eye does.
    packet->setFloatVector(item::view::StereoGeometry, {2.0f, 5.0f});
    packet->setIntVector(item::view::CameraControl, {view::LOOK_AT});
    setVec3(*packet, item::view::Eye, {0, -20, 0});
    setVec3(*packet, item::view::Up, {0, 0, 1});
    VisViewObject* left = create(*packet);
    ASSERT_TRUE(left && left->partner());
    VisViewObject* right = left->partner();
    EXPECT_EQ(_manager->screenWidget(0)->screen(), QGuiApplication::screens().at(0));
    EXPECT_EQ(_manager->screenWidget(1)->screen(), QGuiApplication::screens().at(1));
    EXPECT_EQ(left->viewport(), (view::Viewport{0, 0, 800, 600}));
    EXPECT_EQ(right->viewport(), (view::Viewport{0, 0, 640, 480}));

    double boxCentre[2] = {0.0, 0.0}; // fraction of the width, per eye
    for (int screen : {0, 1}) {
        const QImage shown = shownOn(screen);
        ASSERT_FALSE(shown.isNull());
        const int cx = shown.width() / 2;
        const int cy = shown.height() / 2;
        EXPECT_TRUE(near(at(shown, cx, cy), rgbOf(0, 255, 0))) << "screen " << screen;
        EXPECT_TRUE(near(at(shown, 5, 5), rgbOf(90, 20, 90))) << "screen " << screen;
        int first = -1, last = -1;
        for (int x = 0; x < shown.width(); ++x) {
            if (near(at(shown, x, cy), rgbOf(0, 255, 0))) {
                last = x;
                if (first < 0)
                    first = x;
            }
        }
        boxCentre[screen] = 0.5 * (first + last) / shown.width();
    }
    EXPECT_GT(boxCentre[0] - boxCentre[1], 0.01)
        << "left " << boxCentre[0] << " right " << boxCentre[1];

    // The simulation moves the camera: both eyes follow.
    GNP2::Packet move;
    move.setHeader(packet->header());
    move.setIntVector(item::every::Connection, {0});
    setVec3(move, item::view::Eye, {-15, -15, 5});
    left->update(move);
    settle();
    const osg::Matrixd expected =
        osg::Matrixd::lookAt(osg::Vec3d(-15, -15, 5), osg::Vec3d(), osg::Vec3d(0, 0, 1));
    for (int i = 0; i < 16; ++i) {
        EXPECT_NEAR(left->camera()->getViewMatrix().ptr()[i], expected.ptr()[i], 1e-6);
        EXPECT_NEAR(right->camera()->getViewMatrix().ptr()[i], expected.ptr()[i], 1e-6);
    }
    for (int screen : {0, 1}) {
        const QImage shown = shownOn(screen);
        ASSERT_FALSE(shown.isNull());
        EXPECT_TRUE(near(at(shown, shown.width() / 2, shown.height() / 2), rgbOf(0, 255, 0)));
    }

    _manager->resetViews();
    EXPECT_EQ(_manager->screenWidget(0), nullptr);
    EXPECT_EQ(_manager->screenWidget(1), nullptr);
}

} // namespace
