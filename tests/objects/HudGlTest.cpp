// The head-up display in a real main window on the X display.
//  - Buttons, end to end: a simulation connects with the client library,
//    creates a view with a HUD and buttons; the test moves and clicks the
//    pointer over the viewer widget, and the simulation receives exactly the
//    events the pointer made, with the button's object number and the
//    pointer position in HUD units. After the simulation leaves, the
//    replayed buttons send nothing.
//  - Pixels: a bar of a known colour appears where its HUD position puts it,
//    in each aspect mode, in a wide and a tall window.
//   xvfb-run -a -s "-screen 0 1280x1024x24" ctest -L gl -R Hud

#include <QCoreApplication>
#include <QMainWindow>
#include <QMouseEvent>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "client/SimulationClient.h"
#include "objects/ShapeObjects.h"
#include "objects/VisHUDObject.h"
#include "objects/hud/HUDButton.h"
#include "scene/HudUnits.h"
#include "scene/ObjectKinds.h"
#include "scene/ObjectManager.h"
#include "tests/support/GlHarness.h"
#include "tests/support/Packets.h"
#include "tests/support/Pictures.h"
#include "tests/support/SimulationHarness.h"
#include "view/ViewObjects.h"
#include "view/ViewParameters.h"

using namespace testsupport;
using namespace std::chrono_literals;

namespace {

constexpr int VIEW = 100;
constexpr int BUTTON_A = 11;
constexpr int BUTTON_B = 12;

// The creating items of a HUD element: kind, place (two values) and turn.
Items hudElement(int kind, float x, float y, Items more)
{
    more.ints[item::hud::Element] = {kind};
    more.floats[item::hud::Position] = {x, y};
    more.floats[item::hud::Rotation] = {0.f};
    return more;
}

// A view over the whole window with a HUD in `aspectMode`.
std::unique_ptr<GNP2::Packet> hudView(int aspectMode)
{
    auto view = viewPacket(VIEW, {0, 0, 255}, {0.f, 0.f}, {1.f, 1.f});
    view->setIntVector(item::view::ShowHud, {1});
    view->setIntVector(item::view::HudAspect, {aspectMode});
    return view;
}

struct Received
{
    int object;
    int code;
    float x, y;
};

// --- buttons ------------------------------------------------------------------

class HudButtons : public ::testing::Test
{
protected:
    static constexpr int MODE = 1; // 1000 units over the width

    void SetUp() override
    {
        ASSERT_TRUE(link.ready());
        orvane::SimulationClient& client = link.client();
        client.queue(*hudView(MODE));
        // Two visible buttons, 200 x 100 units, side by side.
        for (const auto& [number, x] : {std::pair{BUTTON_A, 250.f}, std::pair{BUTTON_B, 650.f}})
            client.queue(*makePacket(
                hudElement(VisHUDObject::BUTTON, x, 300.f, {{{46, {200.f, 100.f}}, {47, {1.f}}}}),
                {number, TYPE_VisHUDObject, 0}));
        client.flush();
        ASSERT_TRUE(link.pumpUntil([&] {
            auto* b = link.manager().updateCallback().findObject(0, BUTTON_B);
            return b && b->isInitialized() && link.views().views().size() == 1;
        }));
        link.settle(300ms);
    }

    void TearDown() override { expectNoGlErrors(); }

    // The widget pixel of a HUD point (y from the top, as Qt counts).
    QPoint pixelOf(float x, float y)
    {
        const QWidget* widget = link.views().viewerWidget();
        const double perUnit = double(widget->width()) / 1000.0; // mode 1
        return {int(std::lround(x * perUnit)), int(std::lround(widget->height() - y * perUnit))};
    }

    void mouse(QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held)
    {
        QWidget* widget = link.views().viewerWidget();
        QMouseEvent event(type, at, widget->mapToGlobal(at), button, held, Qt::NoModifier);
        QCoreApplication::sendEvent(widget, &event);
        // The event reaches the handlers in the next frame's event traversal.
        link.settle(30ms);
    }
    void move(float x, float y) { mouse(QEvent::MouseMove, pixelOf(x, y), Qt::NoButton, {}); }
    void press(float x, float y)
    {
        mouse(QEvent::MouseButtonPress, pixelOf(x, y), Qt::LeftButton, Qt::LeftButton);
    }
    void release(float x, float y)
    {
        mouse(QEvent::MouseButtonRelease, pixelOf(x, y), Qt::LeftButton, {});
    }

    // The button events the simulation received within `wait`.
    std::vector<Received> received(std::chrono::milliseconds wait = 500ms)
    {
        link.settle(wait);
        std::vector<Received> all;
        while (auto packet = link.client().poll()) {
            if (!packet->hasItem(item::reply::button_event::Event))
                continue; // camera poses of the view
            const auto pointer = packet->getFloatVector(item::reply::button_event::Pointer);
            all.push_back({int(GNP2::objectNumber(packet->header())),
                           packet->getIntVector(item::reply::button_event::Event).at(0),
                           pointer.at(0), pointer.at(1)});
        }
        return all;
    }

    SimulationHarness link{QSize(640, 480), [](ObjectFactory& factory) {
                               registerHudObjects(factory);
                               registerViewObjects(factory);
                           }};
};

TEST_F(HudButtons, HoverClickAndLeaveReachTheSimulation)
{
    received(100ms); // whatever came before the pointer did anything
    move(260.f, 310.f);
    press(260.f, 310.f);
    release(260.f, 310.f);
    move(610.f, 90.f); // off the button in the move right after the release: A is left

    const std::vector<Received> events = received();
    ASSERT_EQ(events.size(), 4u);
    const int expected[] = {HUDButton::MOVED_OVER, HUDButton::PRESSED, HUDButton::RELEASED,
                            HUDButton::LEFT};
    // One pixel is 1000/640 units: the position comes back within two of them.
    const float tolerance = 2.f * 1000.f / 640.f;
    for (std::size_t i = 0; i < events.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(events[i].object, BUTTON_A);
        EXPECT_EQ(events[i].code, expected[i]);
        const float x = i < 3 ? 260.f : 610.f, y = i < 3 ? 310.f : 90.f;
        EXPECT_NEAR(events[i].x, x, tolerance);
        EXPECT_NEAR(events[i].y, y, tolerance);
    }
}

TEST_F(HudButtons, ReleasingOverAnotherButtonSendsNothing)
{
    received(100ms);
    press(250.f, 300.f);
    release(650.f, 300.f);
    const std::vector<Received> events = received();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].object, BUTTON_A);
    EXPECT_EQ(events[0].code, HUDButton::PRESSED);
}

TEST_F(HudButtons, ReplayedButtonsSendNothing)
{
    link.client().close();
    ObjectManager& manager = link.manager();
    ASSERT_TRUE(link.pumpUntil([&] {
        auto* b = manager.updateCallback().findObject(0, BUTTON_A);
        return manager.state() == ObjectManager::Replay && b && b->isInitialized() &&
               link.views().views().size() == 1;
    }));
    link.settle(200ms);
    ASSERT_TRUE(manager.sendRing().empty());
    move(250.f, 300.f);
    press(250.f, 300.f);
    release(250.f, 300.f);
    link.settle(200ms);
    EXPECT_TRUE(manager.sendRing().empty()) << "nothing waits to be sent";
}

// --- pixels -------------------------------------------------------------------

struct ModeRow
{
    const char* name;
    int mode;
    int width, height;
};

class HudPixels : public ::testing::TestWithParam<ModeRow>
{
protected:
    void TearDown() override { expectNoGlErrors(); }
};

TEST_P(HudPixels, BarAppearsAtItsHudPosition)
{
    const ModeRow& row = GetParam();
    osg::ref_ptr<osg::Group> scene = new osg::Group;
    osg::ref_ptr<osg::Group> hud = new osg::Group;
    ViewerHarness harness(Embedding::GLWidget, QSize(row.width, row.height), scene.get(),
                          hud.get());
    ASSERT_TRUE(harness.exposed());
    ASSERT_TRUE(harness.create(*hudView(row.mode)));

    // An orange bar from (100, 300) to (400, 300), 60 units thick.
    osg::ref_ptr<VisHUDObject> bar = new VisHUDObject(ObjectContext{});
    hud->addChild(bar.get());
    deliver(
        *bar,
        hudElement(VisHUDObject::BAR, 100.f, 300.f, {{{46, {300.f, 60.f}}}, {{48, {255, 128, 0}}}}),
        true);
    ASSERT_NE(bar->element(), nullptr);

    harness.settle(3);
    osg::ref_ptr<osg::Image> image = harness.manager().grabWindowImage();
    ASSERT_TRUE(image.valid());
    keepPicture(*image, std::string("hud_bar_") + row.name);
    const int w = image->s(), h = image->t();

    // Pixels per HUD unit along x and y for this mode and window.
    const hud::HudExtent extent = hud::hudExtent(row.mode, w, h);
    const double px = w / extent.right, py = h / extent.top;
    const auto at = [&](double x, double y) {
        return pixel(*image, int(std::lround(x * px)), h - 1 - int(std::lround(y * py)), true);
    };
    const Rgb orange = rgbOf(255, 128, 0), blue = rgbOf(0, 0, 255);
    for (const auto& [x, y] :
         {std::pair{110.0, 300.0}, std::pair{250.0, 300.0}, std::pair{390.0, 300.0},
          std::pair{250.0, 325.0}, std::pair{250.0, 275.0}})
        EXPECT_TRUE(near(at(x, y), orange)) << x << ", " << y << ": " << text(at(x, y));
    for (const auto& [x, y] : {std::pair{90.0, 300.0}, std::pair{410.0, 300.0},
                               std::pair{250.0, 335.0}, std::pair{250.0, 265.0}})
        EXPECT_TRUE(near(at(x, y), blue)) << x << ", " << y << ": " << text(at(x, y));
}

INSTANTIATE_TEST_SUITE_P(
    AspectModes, HudPixels,
    ::testing::Values(ModeRow{"height_wide", 0, 640, 400}, ModeRow{"width_wide", 1, 640, 400},
                      ModeRow{"shorter_wide", 2, 640, 400}, ModeRow{"shorter_tall", 2, 400, 560},
                      ModeRow{"stretched_tall", 3, 400, 560}),
    [](const ::testing::TestParamInfo<ModeRow>& row) { return std::string(row.param.name); });

} // namespace
