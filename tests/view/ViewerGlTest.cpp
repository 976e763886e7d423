// The viewer in a real main window on the X display, once per embedding:
// views made from packets draw their background into their rectangle, in
// the window and off screen; the default view steps back while simulation
// views exist; resizes, culling, the head-up display camera, the camera
// pose reports and the simulation's camera control.

#include <QApplication>
#include <QMainWindow>
#include <QMouseEvent>
#include <QSettings>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <cmath>

#include <osg/DisplaySettings>
#include <osg/Light>
#include <osg/LightSource>
#include <osg/Geode>
#include <osg/Geometry>
#include <osg/ShapeDrawable>
#include <osgViewer/GraphicsWindow>
#include <osgViewer/View>

#include "scene/ObjectKinds.h"
#include "view/CompositeViewerQOSG.h"
#include "view/MovingManipulator.h"
#include "view/RawDeviceDecoder.h"
#include "view/RawDeviceReader.h"
#include "view/ViewParameters.h"
#include "view/ViewerManager.h"
#include "view/VisViewObject.h"

#include "tests/support/GlHarness.h"
#include "tests/support/Packets.h"
#include "tests/support/Pictures.h"

using namespace testsupport;

namespace {

constexpr int WIDTH = 1001;
constexpr int HEIGHT = 601;
const Rgb DEFAULT_BACKGROUND = rgbOf(0, 0, 128); // "StandardBackGroundColor" defaults

QSettings store()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, "Pellam", "Orvane");
}

std::string nameOf(Embedding embedding)
{
    return embedding == Embedding::NativeWindow ? "NativeWindow" : "GLWidget";
}

// An unlit box, so that its pixels have exactly its colour.
osg::ref_ptr<osg::Geode> box(const osg::Vec3& centre, const osg::Vec3& size,
                             const osg::Vec4& colour)
{
    osg::ref_ptr<osg::ShapeDrawable> shape =
        new osg::ShapeDrawable(new osg::Box(centre, size.x(), size.y(), size.z()));
    shape->setColor(colour);
    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    geode->addDrawable(shape.get());
    geode->getOrCreateStateSet()->setMode(GL_LIGHTING, osg::StateAttribute::OFF);
    return geode;
}

// Counts how often the scene graph asks a drawable to draw.
class DrawCounter : public osg::Drawable::DrawCallback
{
public:
    void drawImplementation(osg::RenderInfo& info, const osg::Drawable* drawable) const override
    {
        ++count;
        drawable->drawImplementation(info);
    }
    mutable std::atomic<int> count{0};
};

// Makes an invalid OpenGL call every time it draws.
class InvalidCall : public osg::Drawable::DrawCallback
{
public:
    void drawImplementation(osg::RenderInfo& info, const osg::Drawable* drawable) const override
    {
        glEnable(0xFFFF);
        drawable->drawImplementation(info);
    }
};

// The rectangle of the pixels that differ from `background` (x0, y0 from
// the top-left; empty when none do).
struct Extent
{
    int x0 = 0, y0 = 0, x1 = -1, y1 = -1;
    bool empty() const { return x1 < x0; }
    int width() const { return x1 - x0 + 1; }
    int height() const { return y1 - y0 + 1; }
};

Extent extentUnlike(const osg::Image& image, const Rgb& background)
{
    Extent e{image.s(), image.t(), -1, -1};
    for (int y = 0; y < image.t(); ++y)
        for (int x = 0; x < image.s(); ++x)
            if (!near(pixel(image, x, y, true), background, 8)) {
                e.x0 = std::min(e.x0, x);
                e.y0 = std::min(e.y0, y);
                e.x1 = std::max(e.x1, x);
                e.y1 = std::max(e.y1, y);
            }
    return e;
}

// The direction the camera looks from (eye minus centre), unit length.
osg::Vec3d lookingFrom(const osg::Camera& camera)
{
    osg::Vec3d eye, centre, up;
    camera.getViewMatrixAsLookAt(eye, centre, up);
    osg::Vec3d from = eye - centre;
    from.normalize();
    return from;
}

osg::Vec3d unit(osg::Vec3d v)
{
    v.normalize();
    return v;
}

// A flat square of `size` at z = 0 cut into cells, so that lighting
// computed at its corners shows a spot light's patch.
osg::ref_ptr<osg::Geode> floorOfCells(float size, int cells)
{
    osg::ref_ptr<osg::Vec3Array> vertices = new osg::Vec3Array;
    osg::ref_ptr<osg::Vec3Array> normals = new osg::Vec3Array;
    const float step = size / float(cells);
    for (int j = 0; j <= cells; ++j)
        for (int i = 0; i <= cells; ++i) {
            vertices->push_back({-size / 2 + float(i) * step, -size / 2 + float(j) * step, 0.f});
            normals->push_back({0.f, 0.f, 1.f});
        }
    osg::ref_ptr<osg::DrawElementsUInt> quads = new osg::DrawElementsUInt(GL_QUADS);
    for (int j = 0; j < cells; ++j)
        for (int i = 0; i < cells; ++i) {
            const unsigned int a = unsigned(j * (cells + 1) + i);
            quads->push_back(a);
            quads->push_back(a + 1);
            quads->push_back(a + unsigned(cells) + 2);
            quads->push_back(a + unsigned(cells) + 1);
        }
    osg::ref_ptr<osg::Geometry> geometry = new osg::Geometry;
    geometry->setVertexArray(vertices.get());
    geometry->setNormalArray(normals.get(), osg::Array::BIND_PER_VERTEX);
    osg::ref_ptr<osg::Vec4Array> white = new osg::Vec4Array;
    white->push_back({1.f, 1.f, 1.f, 1.f});
    geometry->setColorArray(white.get(), osg::Array::BIND_OVERALL);
    geometry->addPrimitiveSet(quads.get());
    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    geode->addDrawable(geometry.get());
    return geode;
}

// Where a channel of the picture is bright: the mean column of its pixels
// above `threshold`, and how many there are.
std::pair<double, int> brightColumn(const osg::Image& image, int channel, int threshold)
{
    double sum = 0;
    int count = 0;
    for (int y = 0; y < image.t(); ++y)
        for (int x = 0; x < image.s(); ++x) {
            const Rgb p = pixel(image, x, y, true);
            const int value = channel == 0 ? p.r : channel == 1 ? p.g : p.b;
            if (value > threshold) {
                sum += x;
                ++count;
            }
        }
    return {count ? sum / count : -1.0, count};
}

// A 3D mouse that the viewer reads: a socket pair that keeps each report
// whole, as a hidraw node does.
class FakeSpaceMouse
{
public:
    FakeSpaceMouse()
    {
        _ok = ::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, _fds) == 0;
        view::RawDeviceDecoder::shared().reset();
    }
    ~FakeSpaceMouse()
    {
        closeDevice();
        if (_ok)
            ::close(_fds[0]);
    }
    bool ok() const { return _ok; }
    int readEnd() const { return _fds[0]; }
    void closeDevice()
    {
        if (_ok && _fds[1] >= 0)
            ::close(_fds[1]);
        _fds[1] = -1;
    }
    // A translation report, then a rotation report.
    void move(int tx, int ty, int tz, int rx, int ry, int rz)
    {
        report(1, tx, ty, tz);
        report(2, rx, ry, rz);
    }
    void buttons(std::uint8_t first, std::uint8_t second)
    {
        const std::uint8_t bytes[] = {3, first, second, 0};
        ASSERT_EQ(::send(_fds[1], bytes, sizeof(bytes), 0), ssize_t(sizeof(bytes)));
    }

private:
    void report(std::uint8_t id, int x, int y, int z)
    {
        std::uint8_t bytes[7] = {id};
        const int values[] = {x, y, z};
        for (int i = 0; i < 3; ++i) {
            bytes[1 + 2 * i] = std::uint8_t(values[i] & 0xFF);
            bytes[2 + 2 * i] = std::uint8_t((values[i] >> 8) & 0xFF);
        }
        ASSERT_EQ(::send(_fds[1], bytes, sizeof(bytes), 0), ssize_t(sizeof(bytes)));
    }

    int _fds[2] = {-1, -1};
    bool _ok = false;
};

class ViewerGlTest : public ::testing::TestWithParam<Embedding>
{
protected:
    void SetUp() override
    {
        store().clear();
        _sceneRoot = new osg::Group;
        _hudRoot = new osg::Group;
        _harness = std::make_unique<ViewerHarness>(GetParam(), QSize(WIDTH, HEIGHT),
                                                   _sceneRoot.get(), _hudRoot.get());
        ASSERT_TRUE(_harness->exposed());
        _manager = &_harness->manager();
        _window = &_harness->window();
        ASSERT_EQ(_manager->viewerPixelSize(), QSize(WIDTH, HEIGHT));
    }

    void TearDown() override
    {
        _harness.reset();
        _spaceMouse.reset();
        store().clear();
        expectNoGlErrors();
    }

    void settle(int frames = 2) { _harness->settle(frames); }

    VisViewObject* create(const GNP2::Packet& packet)
    {
        VisViewObject* view = _harness->create(packet, &_sink);
        EXPECT_TRUE(view);
        return view;
    }

    osg::ref_ptr<osg::Image> grab(const std::string& picture)
    {
        osg::ref_ptr<osg::Image> image = _manager->grabWindowImage();
        EXPECT_TRUE(image.valid());
        if (image) {
            EXPECT_EQ(image->s(), WIDTH);
            EXPECT_EQ(image->t(), HEIGHT);
            keepPicture(*image, nameOf(GetParam()) + "_" + picture);
        }
        return image;
    }

    void mouse(QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held)
    {
        QWidget* widget = _manager->viewerWidget();
        QMouseEvent event(type, at, widget->mapToGlobal(at), button, held, Qt::NoModifier);
        QCoreApplication::sendEvent(widget, &event);
    }

    // Releases the left button where the drag ended, after a pause: a
    // release within 20 ms of the last motion would throw the camera.
    void releaseAfterPause(QPoint at)
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        mouse(QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
    }

    // A left-button drag from one point to another that leaves the camera
    // still. The pointer moves in small steps, as a hand moves it: the
    // manipulator takes a step of more than half the view for a jump.
    void drag(QPoint from, QPoint to)
    {
        mouse(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
        settle(1);
        constexpr int STEPS = 8;
        for (int i = 1; i <= STEPS; ++i) {
            mouse(QEvent::MouseMove, from + (to - from) * i / STEPS, Qt::NoButton, Qt::LeftButton);
            settle(1);
        }
        releaseAfterPause(to);
        settle(1);
    }

    // A 3D mouse that the viewer reads, with the window given the focus,
    // which the 3D mouse needs. It goes after the viewer.
    FakeSpaceMouse& watchSpaceMouse()
    {
        _spaceMouse = std::make_unique<FakeSpaceMouse>();
        EXPECT_TRUE(_spaceMouse->ok());
        _manager->rawDeviceReader().watch(_spaceMouse->readEnd(), "test device");
        EXPECT_TRUE(waitFor([this] {
            activate();
            return QApplication::activeWindow() != nullptr;
        }));
        return *_spaceMouse;
    }

    // Gives the window the activation back: other programs' windows on the
    // same display (tests run side by side) take it, and the viewer reads
    // the 3D mouse only while one of its windows is active.
    void activate()
    {
        _window->activateWindow();
        QApplication::setActiveWindow(_window);
    }

    void click(QPoint at)
    {
        mouse(QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
        mouse(QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
        settle();
    }

    osg::ref_ptr<osg::Group> _sceneRoot;
    osg::ref_ptr<osg::Group> _hudRoot;
    RecordingSink _sink; // outlives the views that send to it
    std::unique_ptr<ViewerHarness> _harness;
    std::unique_ptr<FakeSpaceMouse> _spaceMouse;
    ViewerManager* _manager = nullptr;
    QMainWindow* _window = nullptr;
};

// A camera of the view packet looking from `eye` at `centre`, z up.
void lookAt(GNP2::Packet& packet, const osg::Vec3f& eye, const osg::Vec3f& centre = {})
{
    packet.setIntVector(item::view::CameraControl, {view::LOOK_AT});
    setVec3(packet, item::view::Eye, eye);
    setVec3(packet, item::view::Centre, centre);
    setVec3(packet, item::view::Up, {0, 0, 1});
}

TEST_P(ViewerGlTest, BackgroundFillsTheViewportInTheWindowAndOffScreen)
{
    const auto packet = viewPacket(1, {200, 40, 30}, {0.5f, 0.0f}, {0.5f, 1.0f});
    VisViewObject* view = create(*packet);
    ASSERT_TRUE(view && view->isInitialized());
    EXPECT_EQ(view->viewport(), (view::Viewport{500, 0, 500, HEIGHT}));
    settle();

    const Rgb colour = rgbOf(200, 40, 30);
    osg::ref_ptr<osg::Image> window = grab("background");
    ASSERT_TRUE(window);
    for (int y : {0, HEIGHT / 2, HEIGHT - 1}) {
        for (int x : {0, 250, 499, 1000})
            EXPECT_TRUE(near(pixel(*window, x, y, true), DEFAULT_BACKGROUND))
                << x << "," << y << " " << text(pixel(*window, x, y, true));
        for (int x : {500, 750, 999})
            EXPECT_TRUE(near(pixel(*window, x, y, true), colour))
                << x << "," << y << " " << text(pixel(*window, x, y, true));
    }

    ASSERT_TRUE(_manager->beginOffscreen(320, 240));
    checkGlErrors(*_manager);
    EXPECT_EQ(view->viewport(), (view::Viewport{160, 0, 160, 240}));
    osg::ref_ptr<osg::Image> offscreen = _manager->grabOffscreenImage();
    ASSERT_TRUE(offscreen);
    keepPicture(*offscreen, nameOf(GetParam()) + "_offscreen");
    EXPECT_EQ(offscreen->s(), 320);
    EXPECT_EQ(offscreen->t(), 240);
    EXPECT_EQ(offscreen->getPixelFormat(), GLenum(GL_BGRA));
    for (int y : {0, 120, 239}) {
        EXPECT_TRUE(near(pixel(*offscreen, 100, y, false), DEFAULT_BACKGROUND));
        EXPECT_TRUE(near(pixel(*offscreen, 159, y, false), DEFAULT_BACKGROUND));
        EXPECT_TRUE(near(pixel(*offscreen, 160, y, false), colour));
        EXPECT_TRUE(near(pixel(*offscreen, 319, y, false), colour));
    }
    _manager->endOffscreen();
    EXPECT_FALSE(_manager->offscreenContext());
    EXPECT_FALSE(_manager->grabOffscreenImage());

    // Back in the window, in its old rectangle.
    EXPECT_EQ(view->viewport(), (view::Viewport{500, 0, 500, HEIGHT}));
    window = grab("background_after_offscreen");
    ASSERT_TRUE(window);
    EXPECT_TRUE(near(pixel(*window, 250, 300, true), DEFAULT_BACKGROUND));
    EXPECT_TRUE(near(pixel(*window, 750, 300, true), colour));
}

TEST_P(ViewerGlTest, OffScreenRowsRunTopDown)
{
    // A view in the upper half only: the first rows of the image are its.
    const auto packet = viewPacket(1, {10, 220, 90}, {0.0f, 0.5f}, {1.0f, 0.5f});
    ASSERT_TRUE(create(*packet));
    ASSERT_TRUE(_manager->beginOffscreen(64, 48));
    osg::ref_ptr<osg::Image> image = _manager->grabOffscreenImage();
    ASSERT_TRUE(image);
    EXPECT_TRUE(near(pixel(*image, 32, 0, false), rgbOf(10, 220, 90)));
    EXPECT_TRUE(near(pixel(*image, 32, 47, false), DEFAULT_BACKGROUND));
    _manager->endOffscreen();
}

TEST_P(ViewerGlTest, DefaultViewStepsBackWhileSimulationViewsExist)
{
    // A wide green box in front of every camera that frames the scene.
    _sceneRoot->addChild(box(osg::Vec3(), osg::Vec3(40, 1, 10), osg::Vec4(0, 1, 0, 1)).get());
    settle(4);
    const Rgb green = rgbOf(0, 255, 0);
    osg::ref_ptr<osg::Image> before = grab("default_view");
    ASSERT_TRUE(before);
    EXPECT_TRUE(near(pixel(*before, 500, 300, true), green))
        << text(pixel(*before, 500, 300, true));

    const auto packet = viewPacket(1, {200, 40, 30}, {0.5f, 0.0f}, {0.5f, 1.0f});
    VisViewObject* view = create(*packet);
    ASSERT_TRUE(view);
    EXPECT_EQ(_manager->mainView()->camera()->getCullMask(), 0u);
    settle();
    osg::ref_ptr<osg::Image> with = grab("simulation_view");
    ASSERT_TRUE(with);
    // The default view only clears; the simulation view shows the box.
    EXPECT_TRUE(near(pixel(*with, 250, 300, true), DEFAULT_BACKGROUND))
        << text(pixel(*with, 250, 300, true));
    EXPECT_TRUE(near(pixel(*with, 750, 300, true), green)) << text(pixel(*with, 750, 300, true));
    EXPECT_TRUE(near(pixel(*with, 750, 20, true), rgbOf(200, 40, 30)));

    _sceneRoot->getOrCreateStateSet()->setMode(GL_LIGHT0, osg::StateAttribute::OFF);
    _manager->switchLightsOff();
    _manager->setActiveView(view);
    _manager->resetViews();
    EXPECT_TRUE(_manager->views().empty());
    EXPECT_EQ(_manager->viewer()->getNumViews(), 1u);
    EXPECT_EQ(_manager->activeView(), nullptr);
    EXPECT_EQ(view->camera()->getGraphicsContext(), nullptr);
    EXPECT_EQ(_manager->mainView()->camera()->getCullMask(), 0xFFFFFFFFu);
    EXPECT_EQ(_sceneRoot->getStateSet()->getMode(GL_LIGHT0), osg::StateAttribute::ON);
    EXPECT_EQ(_manager->mainView()->view()->getLightingMode(), osg::View::HEADLIGHT);
    settle(4);
    osg::ref_ptr<osg::Image> after = grab("after_reset");
    ASSERT_TRUE(after);
    EXPECT_TRUE(near(pixel(*after, 500, 300, true), green)) << text(pixel(*after, 500, 300, true));
    EXPECT_TRUE(near(pixel(*after, 750, 20, true), DEFAULT_BACKGROUND));
}

TEST_P(ViewerGlTest, ResizingTheWindowResizesEveryView)
{
    VisViewObject* right = create(*viewPacket(1, {200, 40, 30}, {0.5f, 0.0f}, {0.5f, 1.0f}));
    auto upperPacket = viewPacket(2, {20, 200, 30}, {0.0f, 0.75f}, {0.25f, 0.25f});
    upperPacket->setIntVector(item::view::ShowHud, {1});
    VisViewObject* upper = create(*upperPacket);
    ASSERT_TRUE(right && upper);

    _window->resize(601, 400);
    QCoreApplication::processEvents();
    settle();
    ASSERT_EQ(_manager->viewerPixelSize(), QSize(601, 400));
    EXPECT_EQ(right->viewport(), (view::Viewport{300, 0, 300, 400}));
    EXPECT_EQ(upper->viewport(), (view::Viewport{0, 300, 150, 100}));
    const osg::Viewport* viewport = right->camera()->getViewport();
    ASSERT_TRUE(viewport);
    EXPECT_EQ(viewport->x(), 300);
    EXPECT_EQ(viewport->width(), 300);
    double fovy = 0, aspect = 0, zNear = 0, zFar = 0;
    ASSERT_TRUE(right->camera()->getProjectionMatrixAsPerspective(fovy, aspect, zNear, zFar));
    EXPECT_NEAR(aspect, 300.0 / 400.0, 1e-9);
    EXPECT_NEAR(fovy, 30.0, 1e-6);
    // The head-up display keeps 1000 units of height (mode 0).
    const osg::Vec3d corner =
        osg::Vec3d(1500.0, 1000.0, 0.0) * upper->hudCamera()->getProjectionMatrix();
    EXPECT_NEAR(corner.x(), 1.0, 1e-9);
    EXPECT_NEAR(corner.y(), 1.0, 1e-9);

    osg::ref_ptr<osg::Image> image = _manager->grabWindowImage();
    ASSERT_TRUE(image);
    keepPicture(*image, nameOf(GetParam()) + "_resized");
    ASSERT_EQ(image->s(), 601);
    EXPECT_TRUE(near(pixel(*image, 299, 200, true), DEFAULT_BACKGROUND));
    EXPECT_TRUE(near(pixel(*image, 300, 200, true), rgbOf(200, 40, 30)));
    EXPECT_TRUE(near(pixel(*image, 100, 50, true), rgbOf(20, 200, 30)));
    EXPECT_TRUE(near(pixel(*image, 100, 150, true), DEFAULT_BACKGROUND));
}

TEST_P(ViewerGlTest, NoClipDrawsWhatLiesBehindTheCamera)
{
    osg::ref_ptr<osg::Geode> behind =
        box(osg::Vec3(0, -100, 0), osg::Vec3(1, 1, 1), osg::Vec4(1, 1, 1, 1));
    osg::ref_ptr<DrawCounter> counter = new DrawCounter;
    behind->getDrawable(0)->setDrawCallback(counter.get());
    behind->getDrawable(0)->setUseDisplayList(false);
    _sceneRoot->addChild(behind.get());

    auto packet = viewPacket(1, {0, 0, 0}, {0.0f, 0.0f}, {1.0f, 1.0f});
    lookAt(*packet, {0, -10, 0});

    ASSERT_TRUE(create(*packet));
    settle(3);
    EXPECT_EQ(counter->count, 0) << "culled as it lies outside the frustum";

    store().setValue("Ruskel/noClip", 2);
    packet->setHeader(GNP2::makeHeader(2, TYPE_VisViewObject));
    VisViewObject* unclipped = create(*packet);
    ASSERT_TRUE(unclipped);
    EXPECT_EQ(unclipped->camera()->getCullingMode() & osg::CullSettings::VIEW_FRUSTUM_CULLING, 0u);
    settle(3);
    EXPECT_GT(counter->count, 0);
}

TEST_P(ViewerGlTest, HudCameraShowsTheHudRootInItsUnits)
{
    // Mode 0 in a 500 x 601 viewport: 1000 units high, 832 wide. A quad over
    // the left 416 units covers the left half of the view.
    osg::ref_ptr<osg::Geometry> quad = osg::createTexturedQuadGeometry(
        osg::Vec3(0, 0, -1), osg::Vec3(1000.0f * 500 / 601 / 2, 0, 0), osg::Vec3(0, 1000, 0));
    osg::ref_ptr<osg::Vec4Array> colours = new osg::Vec4Array;
    colours->push_back(osg::Vec4(1, 1, 0, 1));
    quad->setColorArray(colours.get(), osg::Array::BIND_OVERALL);
    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    geode->addDrawable(quad.get());
    geode->getOrCreateStateSet()->setMode(GL_LIGHTING, osg::StateAttribute::OFF);
    _hudRoot->addChild(geode.get());

    auto packet = viewPacket(1, {200, 40, 30}, {0.5f, 0.0f}, {0.5f, 1.0f});
    packet->setIntVector(item::view::ShowHud, {1});
    VisViewObject* view = create(*packet);
    ASSERT_TRUE(view && view->hudCamera());
    EXPECT_EQ(view->hudCamera()->getRenderOrder(), osg::Camera::POST_RENDER);
    EXPECT_EQ(view->hudCamera()->getClearMask(), GLbitfield(GL_DEPTH_BUFFER_BIT));
    settle();
    osg::ref_ptr<osg::Image> image = grab("hud");
    ASSERT_TRUE(image);
    const Rgb yellow = rgbOf(255, 255, 0);
    EXPECT_TRUE(near(pixel(*image, 505, 300, true), yellow)) << text(pixel(*image, 505, 300, true));
    EXPECT_TRUE(near(pixel(*image, 745, 10, true), yellow)) << text(pixel(*image, 745, 10, true));
    EXPECT_TRUE(near(pixel(*image, 755, 300, true), rgbOf(200, 40, 30)));
    // The default view (also with a HUD camera) is stepped back.
    EXPECT_TRUE(near(pixel(*image, 250, 300, true), DEFAULT_BACKGROUND));
}

TEST_P(ViewerGlTest, DraggingReportsEachNewPoseOnce)
{
    auto packet = viewPacket(7, {200, 40, 30}, {0.5f, 0.0f}, {0.5f, 1.0f});
    setVec3(*packet, item::view::Centre, {1, 2, 3});
    setVec3(*packet, item::view::Up, {0, 0, 1});
    setVec3(*packet, item::view::HomeEye, {0, -30, 0});
    packet->setIntVector(item::every::Connection, {4});
    VisViewObject* view = create(*packet);
    ASSERT_TRUE(view);
    settle(3);
    EXPECT_TRUE(_sink.sent.empty()) << "nothing moved";
    // The home position: 30 units in front of the centre.
    const osg::Vec3d eye = view->camera()->getInverseViewMatrix().getTrans();
    EXPECT_NEAR((eye - osg::Vec3d(1, -28, 3)).length(), 0.0, 1e-4);

    mouse(QEvent::MouseButtonPress, QPoint(750, 300), Qt::LeftButton, Qt::LeftButton);
    settle(1);
    EXPECT_TRUE(_sink.sent.empty()) << "a press alone moves nothing";
    mouse(QEvent::MouseMove, QPoint(820, 250), Qt::NoButton, Qt::LeftButton);
    settle(1);
    // The first pose is always reported (the one before the step), then the new one.
    ASSERT_EQ(_sink.sent.size(), 2u);
    EXPECT_NE(_sink.sent[0]->getFloatVector(item::reply::camera_pose::Pose),
              _sink.sent[1]->getFloatVector(item::reply::camera_pose::Pose));
    mouse(QEvent::MouseMove, QPoint(830, 250), Qt::NoButton, Qt::LeftButton);
    settle(1);
    ASSERT_EQ(_sink.sent.size(), 3u) << "one report per change";
    settle(3);
    EXPECT_EQ(_sink.sent.size(), 3u) << "none while the mouse is still";
    releaseAfterPause(QPoint(830, 250));
    settle(3);
    EXPECT_EQ(_sink.sent.size(), 3u) << "an unchanged camera reports nothing";
    EXPECT_EQ(_manager->activeView(), view);

    // The report is the camera's pose, relative to the centre, addressed to
    // the view's object on its connection.
    const GNP2::Packet& report = *_sink.sent.back();
    EXPECT_EQ(GNP2::objectNumber(report.header()), 7u);
    EXPECT_EQ(report.getIntVector(item::every::Connection), std::vector<int>{4});
    const std::vector<float> pose = report.getFloatVector(item::reply::camera_pose::Pose);
    ASSERT_EQ(pose.size(), 16u);
    const osg::Matrixd camera = view->camera()->getInverseViewMatrix();
    for (int i = 0; i < 12; ++i)
        EXPECT_NEAR(pose[i], camera.ptr()[i], 1e-5) << i;
    EXPECT_NEAR(pose[12], camera(3, 0) - 1.0, 1e-4);
    EXPECT_NEAR(pose[13], camera(3, 1) - 2.0, 1e-4);
    EXPECT_NEAR(pose[14], camera(3, 2) - 3.0, 1e-4);
    // The drag turned the camera about the centre.
    EXPECT_NEAR((camera.getTrans() - osg::Vec3d(1, 2, 3)).length(), 30.0, 1e-3);
    EXPECT_GT((camera.getTrans() - eye).length(), 1.0);
}

osg::Matrixd poseOf(const VisViewObject& view)
{
    return view.camera()->getInverseViewMatrix();
}

bool samePose(const osg::Matrixd& a, const osg::Matrixd& b)
{
    for (int i = 0; i < 16; ++i)
        if (std::abs(a.ptr()[i] - b.ptr()[i]) > 1e-9)
            return false;
    return true;
}

TEST_P(ViewerGlTest, SpaceMouseMovesOnlyTheViewLastClicked)
{
    store().setValue("3DMouse/useSpaceMouse", 2);
    store().setValue("3DMouse/movement speed", 1e-4);
    store().setValue("3DMouse/rotation speed", 1e-6);
    auto leftPacket = viewPacket(1, {200, 40, 30}, {0.0f, 0.0f}, {0.5f, 1.0f});
    auto rightPacket = viewPacket(2, {30, 40, 200}, {0.5f, 0.0f}, {0.5f, 1.0f});
    for (auto* packet : {leftPacket.get(), rightPacket.get()}) {
        setVec3(*packet, item::view::Centre, {0, 0, 0});
        setVec3(*packet, item::view::Up, {0, 0, 1});
        setVec3(*packet, item::view::HomeEye, {0, -20, 0});
    }
    VisViewObject* left = create(*leftPacket);
    VisViewObject* right = create(*rightPacket);
    ASSERT_TRUE(left && right);
    ASSERT_TRUE(right->manipulator()->spaceMouse().useSpaceMouse);
    EXPECT_DOUBLE_EQ(right->manipulator()->spaceMouse().movementSpeed, 1e-4);
    settle();
    const osg::Matrixd leftHome = poseOf(*left);
    const osg::Matrixd rightHome = poseOf(*right);
    FakeSpaceMouse& device = watchSpaceMouse();

    // Before any click no view follows the 3D mouse.
    activate();
    device.move(100, 0, 0, 0, 0, 0);
    settle(3);
    EXPECT_TRUE(samePose(poseOf(*left), leftHome));
    EXPECT_TRUE(samePose(poseOf(*right), rightHome));

    click(QPoint(750, 300));
    ASSERT_EQ(_manager->activeView(), right);
    _sink.sent.clear();

    // 100 counts sideways at 1e-4: one unit along the camera's x axis.
    const osg::Vec3d sideways = osg::Vec3d(1, 0, 0) * osg::Matrixd::rotate(rightHome.getRotate());
    activate();
    device.move(100, 0, 0, 0, 0, 0);
    ASSERT_TRUE(waitFor([&] {
        settle(1);
        return !samePose(poseOf(*right), rightHome);
    })) << "the right view did not move";
    EXPECT_NEAR((poseOf(*right).getTrans() - (rightHome.getTrans() + sideways)).length(), 0.0,
                1e-4);
    EXPECT_TRUE(samePose(poseOf(*left), leftHome)) << "the other view moved too";
    ASSERT_FALSE(_sink.sent.empty());
    for (const auto& sent : _sink.sent)
        EXPECT_EQ(GNP2::objectNumber(sent->header()), 2u);

    // A turn about the vertical axis: the eye stays, the view turns by
    // 100 squared times 1e-6 radians.
    const osg::Matrixd moved = poseOf(*right);
    activate();
    device.move(0, 0, 0, 0, 0, 100);
    ASSERT_TRUE(waitFor([&] {
        settle(1);
        return !samePose(poseOf(*right), moved);
    }));
    EXPECT_NEAR((poseOf(*right).getTrans() - moved.getTrans()).length(), 0.0, 1e-4);
    const osg::Vec3d before = osg::Vec3d(0, 0, -1) * osg::Matrixd::rotate(moved.getRotate());
    const osg::Vec3d after =
        osg::Vec3d(0, 0, -1) * osg::Matrixd::rotate(poseOf(*right).getRotate());
    EXPECT_NEAR(std::acos(std::clamp(before * after, -1.0, 1.0)), 0.01, 1e-4);

    // The zoom buttons: 0.9 and back.
    const double distance = right->manipulator()->getDistance();
    activate();
    device.buttons(0, 0x10);
    ASSERT_TRUE(waitFor([&] {
        settle(1);
        return std::abs(right->manipulator()->getDistance() - 0.9 * distance) < 1e-9;
    }));
    activate();
    device.buttons(0, 0x20);
    ASSERT_TRUE(waitFor([&] {
        settle(1);
        return std::abs(right->manipulator()->getDistance() - distance) < 1e-9;
    }));
    EXPECT_TRUE(samePose(poseOf(*left), leftHome));

    // An unplugged device is said once and no longer read.
    device.closeDevice();
    EXPECT_TRUE(waitFor([&] {
        settle(1);
        return _manager->rawDeviceReader().watchedCount() == 0;
    }));
}

TEST_P(ViewerGlTest, SpaceMouseIsIgnoredUnlessTheSettingsAskForIt)
{
    VisViewObject* view = create(*viewPacket(1, {200, 40, 30}, {0.0f, 0.0f}, {1.0f, 1.0f}));
    ASSERT_TRUE(view);
    EXPECT_FALSE(view->manipulator()->spaceMouse().useSpaceMouse) << "off unless set";
    settle();
    FakeSpaceMouse& device = watchSpaceMouse();
    click(QPoint(300, 300));
    ASSERT_EQ(_manager->activeView(), view);
    _sink.sent.clear();
    const osg::Matrixd home = poseOf(*view);
    for (int i = 0; i < 5; ++i)
        device.move(3000, 2000, 1000, 500, 500, 500);
    activate();
    device.buttons(0, 0x10);
    settle(5);
    EXPECT_TRUE(samePose(poseOf(*view), home));
    EXPECT_TRUE(_sink.sent.empty());
    EXPECT_FALSE(view->manipulator()->rotationLock());
}

TEST_P(ViewerGlTest, SimulationControlsTheCameraWithLookAtAndCentre)
{
    auto packet = viewPacket(1, {200, 40, 30}, {0.5f, 0.0f}, {0.5f, 1.0f});
    lookAt(*packet, {10, -20, 5}, {0, 0, 1});
    setVec3(*packet, item::view::HomeEye, {0, -30, 0});
    VisViewObject* view = create(*packet);
    ASSERT_TRUE(view);
    settle();
    const osg::Matrixd expected =
        osg::Matrixd::lookAt(osg::Vec3d(10, -20, 5), osg::Vec3d(0, 0, 1), osg::Vec3d(0, 0, 1));
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(view->camera()->getViewMatrix().ptr()[i], expected.ptr()[i], 1e-6) << i;
    EXPECT_TRUE(view->manipulator()->lookAtMode());

    // The user's mouse is ignored while the simulation holds the camera.
    drag(QPoint(700, 300), QPoint(800, 200));
    EXPECT_TRUE(_sink.sent.empty());
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(view->camera()->getViewMatrix().ptr()[i], expected.ptr()[i], 1e-6) << i;

    // Item 55 = 2: the eye stays, the centre moves, the user steers again.
    GNP2::Packet centre;
    centre.setHeader(packet->header());
    centre.setIntVector(item::every::Connection, {0});
    centre.setIntVector(item::view::CameraControl, {view::MOVE_CENTRE});
    setVec3(centre, item::view::Centre, {5, 0, 5});
    view->update(centre);
    settle();
    EXPECT_FALSE(view->manipulator()->lookAtMode());
    EXPECT_NEAR((view->manipulator()->getCenter() - osg::Vec3d(5, 0, 5)).length(), 0.0, 1e-6);
    const osg::Matrixd pose = view->camera()->getInverseViewMatrix();
    EXPECT_NEAR((pose.getTrans() - osg::Vec3d(10, -20, 5)).length(), 0.0, 1e-5);
    const osg::Vec3d forward = osg::Vec3d(0, 0, -1) * osg::Matrixd::rotate(pose.getRotate());
    osg::Vec3d toCentre = osg::Vec3d(5, 0, 5) - osg::Vec3d(10, -20, 5);
    toCentre.normalize();
    EXPECT_NEAR((forward - toCentre).length(), 0.0, 1e-6);

    drag(QPoint(700, 300), QPoint(800, 200));
    EXPECT_FALSE(_sink.sent.empty());
}

TEST_P(ViewerGlTest, ViewWithoutARequiredItemWaitsForIt)
{
    auto packet = viewPacket(1, {200, 40, 30}, {0.5f, 0.0f}, {0.5f, 1.0f});
    packet->removeItem(item::view::Background);
    testing::internal::CaptureStdout();
    VisViewObject* view = create(*packet);
    const std::string output = testing::internal::GetCapturedStdout();
    ASSERT_TRUE(view);
    EXPECT_FALSE(view->isInitialized());
    EXPECT_NE(output.find("An error occured while initializing VisCameraObject. Object will be "
                          "skipped!\nRequested data not in packet or data size mismatch!\n"
                          "ErrorNr: 63"),
              std::string::npos)
        << output;
    EXPECT_TRUE(_manager->views().empty());
    EXPECT_EQ(_manager->viewer()->getNumViews(), 1u);
    EXPECT_EQ(_manager->mainView()->camera()->getCullMask(), 0xFFFFFFFFu);

    // The next packet completes the state: the view is made from it.
    GNP2::Packet colour;
    colour.setHeader(packet->header());
    colour.setIntVector(item::every::Connection, {0});
    colour.setIntVector(item::view::CameraControl, {0});
    colour.setIntVector(item::view::Background, {200, 40, 30});
    view->update(colour);
    EXPECT_TRUE(view->isInitialized());
    ASSERT_EQ(_manager->views().size(), 1u);
    settle();
    osg::ref_ptr<osg::Image> image = grab("late_view");
    ASSERT_TRUE(image);
    EXPECT_TRUE(near(pixel(*image, 750, 300, true), rgbOf(200, 40, 30)));
}

TEST_P(ViewerGlTest, UpdateChangesBackgroundAndProjection)
{
    auto packet = viewPacket(1, {200, 40, 30}, {0.5f, 0.0f}, {0.5f, 1.0f});
    VisViewObject* view = create(*packet);
    ASSERT_TRUE(view);
    GNP2::Packet change;
    change.setHeader(packet->header());
    change.setIntVector(item::every::Connection, {0});
    change.setIntVector(item::view::CameraControl, {0});
    change.setIntVector(item::view::Background, {0, 128, 255});
    change.setFloatVector(item::view::FieldOfView, {60.0f});
    view->update(change);
    double fovy = 0, aspect = 0, zNear = 0, zFar = 0;
    ASSERT_TRUE(view->camera()->getProjectionMatrixAsPerspective(fovy, aspect, zNear, zFar));
    EXPECT_NEAR(fovy, 60.0, 1e-6);
    EXPECT_NEAR(zFar, 1000.0, 1e-3);
    settle();
    osg::ref_ptr<osg::Image> image = grab("changed_background");
    ASSERT_TRUE(image);
    EXPECT_TRUE(near(pixel(*image, 750, 300, true), rgbOf(0, 128, 255)));

    // An update without item 55 is refused (the object manager reports it).
    GNP2::Packet bare;
    bare.setHeader(packet->header());
    bare.setIntVector(item::every::Connection, {0});
    GNP2::Packet& state = view->getPacket();
    state.removeItem(item::view::CameraControl);
    EXPECT_THROW(view->update(bare), GNP2::GNP2Exception);
}

TEST_P(ViewerGlTest, OwnScreenViewsAndStereoPairs)
{
    auto packet = viewPacket(1, {200, 40, 30}, {0.0f, 0.0f}, {1.0f, 1.0f});
    packet->setIntVector(item::view::OwnWindow, {1});
    packet->setIntVector(item::view::Screen, {0});
    packet->setIntVector(item::view::Stereo, {1, 1});
    packet->setFloatVector(item::view::StereoGeometry, {0.06f, 2.0f});
    setVec3(*packet, item::view::HomeEye, {0, -30, 0});
    VisViewObject* left = create(*packet);
    ASSERT_TRUE(left && left->isInitialized());
    VisViewObject* right = left->partner();
    ASSERT_TRUE(right);
    EXPECT_TRUE(right->isSecondEye());
    EXPECT_EQ(_manager->views().size(), 2u);
    EXPECT_EQ(left->manipulator(), right->manipulator());
    EXPECT_EQ(left->view()->getCameraManipulator(), right->view()->getCameraManipulator());
    settle();

    if (GetParam() == Embedding::GLWidget) {
        // No full-screen windows here: both eyes are in the viewer widget.
        EXPECT_EQ(_manager->screenWindow(0), nullptr);
        EXPECT_EQ(left->graphicsWindow(), _manager->graphicsWindow());
        EXPECT_EQ(right->graphicsWindow(), _manager->graphicsWindow());
    } else {
        osgViewer::GraphicsWindow* screen0 = _manager->screenWindow(0);
        ASSERT_TRUE(screen0);
        EXPECT_EQ(_manager->screenWindow(0), screen0) << "made once";
        EXPECT_EQ(left->graphicsWindow(), screen0);
        EXPECT_EQ(right->graphicsWindow(), _manager->screenWindow(1));
        EXPECT_NE(screen0, _manager->screenWindow(1));
        EXPECT_EQ(_manager->screenWindow(16), nullptr);
        EXPECT_EQ(_manager->screenWindow(-1), nullptr);
        ASSERT_TRUE(left->view()->getDisplaySettings());
        EXPECT_EQ(left->view()->getDisplaySettings()->getStereoMode(),
                  osg::DisplaySettings::LEFT_EYE);
        EXPECT_EQ(right->view()->getDisplaySettings()->getStereoMode(),
                  osg::DisplaySettings::RIGHT_EYE);
        EXPECT_FLOAT_EQ(right->view()->getDisplaySettings()->getEyeSeparation(), 0.06f);
        QWidget* window = _manager->screenWidget(0);
        ASSERT_TRUE(window);
        EXPECT_TRUE(window->isFullScreen());
        checkGlErrors(*_manager);
    }

    // Both eyes follow the simulation's camera.
    GNP2::Packet look;
    look.setHeader(packet->header());
    look.setIntVector(item::every::Connection, {0});
    lookAt(look, {3, -7, 2});
    left->update(look);
    settle();
    const osg::Matrixd expected =
        osg::Matrixd::lookAt(osg::Vec3d(3, -7, 2), osg::Vec3d(), osg::Vec3d(0, 0, 1));
    for (int i = 0; i < 16; ++i) {
        EXPECT_NEAR(left->camera()->getViewMatrix().ptr()[i], expected.ptr()[i], 1e-6);
        EXPECT_NEAR(right->camera()->getViewMatrix().ptr()[i], expected.ptr()[i], 1e-6);
    }

    _manager->resetViews();
    EXPECT_EQ(_manager->screenWidget(0), nullptr);
    EXPECT_EQ(_manager->screenWidget(1), nullptr);
    settle();
}

TEST_P(ViewerGlTest, ScreenWindowsCloseForOffScreenRendering)
{
    if (GetParam() == Embedding::GLWidget)
        GTEST_SKIP() << "the GL-widget embedding has no full-screen windows";
    auto packet = viewPacket(1, {30, 60, 90}, {0.0f, 0.0f}, {1.0f, 1.0f});
    packet->setIntVector(item::view::OwnWindow, {1});
    packet->setIntVector(item::view::Screen, {0});
    packet->setIntVector(item::view::Stereo, {0, 0});
    VisViewObject* view = create(*packet);
    ASSERT_TRUE(view);
    settle();
    ASSERT_TRUE(_manager->screenWidget(0));
    EXPECT_EQ(view->graphicsWindow(), _manager->screenWindow(0));

    ASSERT_TRUE(_manager->beginOffscreen(100, 80));
    EXPECT_EQ(_manager->screenWidget(0), nullptr);
    osg::ref_ptr<osg::Image> image = _manager->grabOffscreenImage();
    ASSERT_TRUE(image);
    EXPECT_TRUE(near(pixel(*image, 50, 40, false), rgbOf(30, 60, 90)));
    _manager->endOffscreen();
    // The view comes back to the viewer widget.
    EXPECT_EQ(view->graphicsWindow(), _manager->graphicsWindow());
    EXPECT_EQ(view->viewport(), (view::Viewport{0, 0, WIDTH, HEIGHT}));
}

TEST_P(ViewerGlTest, GlWidgetControls)
{
    VisViewObject* view = create(*viewPacket(1, {200, 40, 30}, {0.5f, 0.0f}, {0.5f, 1.0f}));
    ASSERT_TRUE(view);
    if (GetParam() == Embedding::NativeWindow) {
        EXPECT_EQ(_manager->homeAction(), nullptr);
        EXPECT_EQ(_manager->orthographicAction(), nullptr);
        return;
    }
    ASSERT_TRUE(_manager->homeAction() && _manager->orthographicAction());
    EXPECT_EQ(_manager->homeAction()->text(), "Camera to home position");
    EXPECT_EQ(_manager->orthographicAction()->text(), "Orthographic Mode");
    EXPECT_EQ(_manager->orthographicAction()->shortcut(), QKeySequence("Ctrl+O"));

    _manager->orthographicAction()->trigger();
    EXPECT_TRUE(_manager->orthographicMode());
    settle();
    double left = 0, right = 0, bottom = 0, top = 0, zNear = 0, zFar = 0;
    ASSERT_TRUE(view->camera()->getProjectionMatrixAsOrtho(left, right, bottom, top, zNear, zFar));
    const double distance = view->manipulator()->getDistance();
    EXPECT_NEAR(right - left, distance, 1e-6);
    EXPECT_NEAR(top - bottom, distance * HEIGHT / 500.0, 1e-6);
    EXPECT_NEAR(zNear, 0.0, 1e-9);
    EXPECT_NEAR(zFar, 1000.0, 1e-3);
    _manager->orthographicAction()->trigger();
    EXPECT_FALSE(_manager->orthographicMode());
    double fovy = 0, aspect = 0;
    EXPECT_TRUE(view->camera()->getProjectionMatrixAsPerspective(fovy, aspect, zNear, zFar));

    // Home from the settings: the standard position looking at the origin.
    store().setValue("Camera/AutoCalculateHomePosition/autoCalculate", 0);
    store().setValue("Camera/StandardPosition/X", "4");
    store().setValue("Camera/StandardPosition/Y", "-8");
    store().setValue("Camera/StandardPosition/Z", "2");
    _manager->homeAction()->trigger();
    settle();
    EXPECT_NEAR((view->camera()->getInverseViewMatrix().getTrans() - osg::Vec3d(4, -8, 2)).length(),
                0.0, 1e-5);
    EXPECT_FALSE(_sink.sent.empty()) << "going home is a camera change";
}

// A simulation without a view of its own: the default view frames the
// scene from the home direction, the whole of a unit box in sight.
TEST_P(ViewerGlTest, DefaultViewFramesASmallSceneWhole)
{
    const osg::Vec4 orange(0.9f, 0.5f, 0.1f, 1.0f);
    _sceneRoot->addChild(box(osg::Vec3(), osg::Vec3(1, 1, 1), orange).get());
    settle(4);
    osg::ref_ptr<osg::Image> picture = grab("default_view_unit_box");
    ASSERT_TRUE(picture);
    const Extent seen = extentUnlike(*picture, DEFAULT_BACKGROUND);
    ASSERT_FALSE(seen.empty()) << "the box is not in sight";
    EXPECT_GT(seen.x0, WIDTH / 10);
    EXPECT_LT(seen.x1, WIDTH - WIDTH / 10);
    EXPECT_GT(seen.y0, HEIGHT / 10) << "the box reaches the top edge";
    EXPECT_LT(seen.y1, HEIGHT - HEIGHT / 10) << "the box reaches the bottom edge";
    EXPECT_LT(seen.height(), HEIGHT * 8 / 10);
    EXPECT_GT(seen.height(), HEIGHT / 4) << "framed, not lost in the distance";
    // From the standard position's direction (1, -1, 1): three faces seen,
    // not one flat square.
    EXPECT_NEAR((lookingFrom(*_manager->mainView()->camera()) - unit({1, -1, 1})).length(), 0.0,
                1e-6);

    // A bigger scene is framed again until the user moves the camera.
    _sceneRoot->addChild(box(osg::Vec3(6, 0, 0), osg::Vec3(1, 1, 1), orange).get());
    settle(4);
    const Extent both = extentUnlike(*grab("default_view_two_boxes"), DEFAULT_BACKGROUND);
    EXPECT_GT(both.x0, 0);
    EXPECT_LT(both.x1, WIDTH - 1);
}

// "Camera to home position": a view the simulation gave a home returns
// there; one without frames the scene from the home direction of the
// settings, or stands at the standard position when home is not computed.
TEST_P(ViewerGlTest, HomeFramesTheSceneFromTheHomeDirectionOrReturnsToTheViewsOwnHome)
{
    const osg::Vec4 green(0.1f, 0.8f, 0.2f, 1.0f);
    _sceneRoot->addChild(box(osg::Vec3(2, 3, 1), osg::Vec3(2, 2, 2), green).get());
    VisViewObject* framed = create(*viewPacket(1, {0, 0, 0}, {0.0f, 0.0f}, {0.5f, 1.0f}));
    auto ownPacket = viewPacket(2, {0, 0, 0}, {0.5f, 0.0f}, {0.5f, 1.0f});
    setVec3(*ownPacket, item::view::Centre, {2, 3, 1});
    setVec3(*ownPacket, item::view::Up, {0, 0, 1});
    setVec3(*ownPacket, item::view::HomeEye, {0, -12, 6});
    VisViewObject* own = create(*ownPacket);
    ASSERT_TRUE(framed && own);
    settle();

    drag(QPoint(250, 300), QPoint(350, 150));
    drag(QPoint(750, 300), QPoint(850, 150));
    EXPECT_GT((lookingFrom(*own->camera()) - unit({0, -12, 6})).length(), 0.1) << "not moved";

    _manager->homeView();
    settle();
    EXPECT_NEAR((lookingFrom(*framed->camera()) - unit({1, -1, 1})).length(), 0.0, 1e-6);
    EXPECT_NEAR((lookingFrom(*own->camera()) - unit({0, -12, 6})).length(), 0.0, 1e-6);
    EXPECT_NEAR(own->manipulator()->getDistance(), osg::Vec3d(0, -12, 6).length(), 1e-4);
    osg::ref_ptr<osg::Image> picture = grab("home_framed_and_own");
    ASSERT_TRUE(picture);
    // The box whole in the left view.
    const Rgb black = rgbOf(0, 0, 0);
    int left = WIDTH, right = -1, top = HEIGHT, bottom = -1;
    for (int y = 0; y < HEIGHT; ++y)
        for (int x = 0; x < WIDTH / 2; ++x)
            if (!near(pixel(*picture, x, y, true), black, 8)) {
                left = std::min(left, x), right = std::max(right, x);
                top = std::min(top, y), bottom = std::max(bottom, y);
            }
    ASSERT_GE(right, left) << "the box is not in the framed view";
    EXPECT_GT(left, 10);
    EXPECT_LT(right, WIDTH / 2 - 10);
    EXPECT_GT(top, 10);
    EXPECT_LT(bottom, HEIGHT - 10);

    // The space bar goes to the same home.
    drag(QPoint(250, 300), QPoint(300, 100));
    QTest::keyClick(_manager->viewerWidget(), Qt::Key_Space);
    settle();
    EXPECT_NEAR((lookingFrom(*framed->camera()) - unit({1, -1, 1})).length(), 0.0, 1e-6);

    // Another home direction from the settings.
    store().setValue("Camera/StandardPosition/X", "0");
    store().setValue("Camera/StandardPosition/Y", "-5");
    store().setValue("Camera/StandardPosition/Z", "0");
    _manager->homeView();
    settle();
    EXPECT_NEAR((lookingFrom(*framed->camera()) - osg::Vec3d(0, -1, 0)).length(), 0.0, 1e-6);
    EXPECT_NEAR((lookingFrom(*own->camera()) - unit({0, -12, 6})).length(), 0.0, 1e-6);
}

// An orthographic picture of the same scene: the box seen from the same
// place, whole, its size set by the camera's distance (not a flat field of
// one colour).
TEST_P(ViewerGlTest, OrthographicModeShowsTheSameSceneInParallelProjection)
{
    const osg::Vec4 green(0.1f, 0.8f, 0.2f, 1.0f);
    _sceneRoot->addChild(box(osg::Vec3(), osg::Vec3(2, 2, 2), green).get());
    VisViewObject* view = create(*viewPacket(1, {0, 0, 0}, {0.0f, 0.0f}, {1.0f, 1.0f}));
    ASSERT_TRUE(view);
    _manager->homeView();
    settle();
    const Rgb black = rgbOf(0, 0, 0);
    const Extent perspective = extentUnlike(*grab("perspective"), black);

    _manager->setOrthographicMode(true);
    _manager->homeView(); // home stays home in either projection
    settle();
    osg::ref_ptr<osg::Image> picture = grab("orthographic");
    ASSERT_TRUE(picture);
    const Extent ortho = extentUnlike(*picture, black);
    ASSERT_FALSE(ortho.empty());
    EXPECT_NEAR((lookingFrom(*view->camera()) - unit({1, -1, 1})).length(), 0.0, 1e-6);
    // Whole and centred, about as large as in perspective.
    EXPECT_GT(ortho.x0, 0);
    EXPECT_LT(ortho.x1, WIDTH - 1);
    EXPECT_GT(ortho.y0, 0);
    EXPECT_LT(ortho.y1, HEIGHT - 1);
    EXPECT_NEAR((ortho.x0 + ortho.x1) / 2.0, WIDTH / 2.0, WIDTH / 20.0);
    EXPECT_GT(ortho.height(), perspective.height() / 3);
    EXPECT_LT(ortho.height(), perspective.height() * 3);
    // Parallel projection: the visible width is the distance.
    const double distance = view->manipulator()->getDistance();
    EXPECT_LT(distance, 50.0) << "home went far away";
    double l = 0, r = 0, b = 0, t = 0, n = 0, f = 0;
    ASSERT_TRUE(view->camera()->getProjectionMatrixAsOrtho(l, r, b, t, n, f));
    EXPECT_NEAR(r - l, distance, 1e-6);
    _manager->setOrthographicMode(false);
}

// Stereo: the lights stand in the world, so a spot light's patch on the
// floor lies where the floor does in both eyes' pictures.
TEST_P(ViewerGlTest, StereoEyesAreLitAlike)
{
    osg::ref_ptr<osg::Group> lit = new osg::Group;
    lit->addChild(floorOfCells(20.f, 80).get());
    osg::ref_ptr<osg::Light> spot = new osg::Light(1);
    spot->setPosition({3.f, 0.f, 6.f, 1.f});
    spot->setDirection({0.f, 0.f, -1.f});
    spot->setSpotCutoff(20.f);
    spot->setAmbient({0.f, 0.f, 0.f, 1.f});
    spot->setDiffuse({1.f, 1.f, 1.f, 1.f});
    osg::ref_ptr<osg::LightSource> source = new osg::LightSource;
    source->setLight(spot.get());
    lit->addChild(source.get());
    lit->getOrCreateStateSet()->setMode(GL_LIGHT1, osg::StateAttribute::ON);
    lit->getOrCreateStateSet()->setMode(GL_LIGHT0, osg::StateAttribute::OFF);
    _sceneRoot->addChild(lit.get());

    auto packet = viewPacket(1, {0, 0, 0}, {0.0f, 0.0f}, {1.0f, 1.0f});
    lookAt(*packet, {0, -12, 12});
    VisViewObject* view = create(*packet);
    ASSERT_TRUE(view);
    settle();
    osg::ref_ptr<osg::Image> mono = grab("stereo_off");
    ASSERT_TRUE(mono);
    const auto [monoColumn, monoCount] = brightColumn(*mono, 0, 128);
    ASSERT_GT(monoCount, 500) << "no light patch";

    osg::DisplaySettings* settings = osg::DisplaySettings::instance().get();
    const float separation = settings->getEyeSeparation();
    settings->setEyeSeparation(0.06f); // wide, so that a misplaced light shows clearly
    settings->setStereoMode(osg::DisplaySettings::ANAGLYPHIC);
    settings->setStereo(true);
    settle(3);
    osg::ref_ptr<osg::Image> stereo = grab("stereo_on");
    settings->setStereo(false);
    settings->setEyeSeparation(separation);
    settle();
    ASSERT_TRUE(stereo);
    // Left eye in red, right eye in green and blue.
    const auto [leftColumn, leftCount] = brightColumn(*stereo, 0, 128);
    const auto [rightColumn, rightCount] = brightColumn(*stereo, 1, 128);
    ASSERT_GT(leftCount, 500);
    ASSERT_GT(rightCount, 500);
    // The patch lies on the floor near the fusion distance: the eyes see it
    // a few pixels apart at most, and about as large.
    EXPECT_NEAR(leftColumn, rightColumn, 8.0) << "the eyes are lit differently";
    EXPECT_NEAR(leftColumn, monoColumn, 8.0);
    EXPECT_NEAR(double(leftCount) / rightCount, 1.0, 0.15);
}

TEST_P(ViewerGlTest, OpenGlErrorsAreCaught)
{
    // The check every test ends with sees errors raised while drawing.
    osg::ref_ptr<osg::Geode> faulty = box(osg::Vec3(), osg::Vec3(1, 1, 1), osg::Vec4(1, 1, 1, 1));
    faulty->getDrawable(0)->setDrawCallback(new InvalidCall);
    faulty->getDrawable(0)->setUseDisplayList(false);
    _sceneRoot->addChild(faulty.get());
    settle();
    EXPECT_FALSE(glErrors().errors().empty());
    _sceneRoot->removeChild(faulty.get());
    settle();
    glErrors().clear();
}

INSTANTIATE_TEST_SUITE_P(Embeddings, ViewerGlTest,
                         ::testing::Values(Embedding::NativeWindow, Embedding::GLWidget),
                         [](const auto& row) { return nameOf(row.param); });

} // namespace
