// The main window on the virtual X display, once per embedding: its menus
// and toolbar, a simulation connected through the client library, the
// pictures of its views, the wireframe, shadow and stereo switches, the
// screenshot, full screen and the settings it keeps. Every test fails on an
// OpenGL error reported by OSG.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QSlider>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QToolBar>
#include <QWidgetAction>
#include <QTest>

#include <osg/DisplaySettings>
#include <osg/Geode>
#include <osg/MatrixTransform>
#include <osg/LightSource>
#include <osg/PolygonMode>
#include <osg/ShapeDrawable>
#include <osgShadow/SoftShadowMap>

#include "MainWindowHarness.h"
#include "app/MenuTable.h"
#include "console/ConsoleHandler.h"
#include "log/Log.h"
#include "app/SceneShadows.h"
#include "app/VisMainWindow.h"
#include "client/SimulationClient.h"
#include "view/CompositeViewerQOSG.h"
#include "view/ViewParameters.h"
#include "view/VisViewObject.h"

using namespace apptest;
using namespace std::chrono_literals;

namespace {

const QColor kDefaultBackground(0, 0, 128); // the settings' default view colour
const QColor kViewColour(200, 60, 20);

QString qstr(std::string_view text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

QSettings settings()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, "Pellam", "Orvane");
}

std::string embeddingName(Embedding embedding)
{
    return embedding == Embedding::NativeWindow ? "NativeWindow" : "GLWidget";
}

bool black(const QColor& colour)
{
    return colour.red() < 8 && colour.green() < 8 && colour.blue() < 8;
}

// A box of edge `size` at the origin, drawn white and lit.
osg::ref_ptr<osg::Geode> box(float size, unsigned nodeMask = ~0u)
{
    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    geode->addDrawable(new osg::ShapeDrawable(new osg::Box(osg::Vec3(), size)));
    geode->setNodeMask(nodeMask);
    return geode;
}

class MainWindow : public testing::TestWithParam<Embedding>
{
protected:
    void SetUp() override
    {
        QSettings store = settings();
        store.clear();
        // A disconnect then leads to Offline rather than to the replay.
        store.setValue("Replay/disabled", 2);
        store.sync();
        glErrors().clear();
        _port = freePort();
        ASSERT_NE(_port, 0);
    }

    void TearDown() override
    {
        const std::vector<std::string> errors = glErrors().errors();
        EXPECT_TRUE(errors.empty()) << errors.size() << " OpenGL errors, first: " << errors[0];
    }

    void run(const std::function<void(VisMainWindow&)>& body)
    {
        runInMainWindow(_port, GetParam(), body);
    }

    // Connects the simulation and waits until the window shows it.
    void connectSimulation(VisMainWindow& window, orvane::SimulationClient& client)
    {
        client.connect("127.0.0.1", _port);
        ASSERT_TRUE(waitFor([&] { return window.statusLabel()->text() == "Status: Online"; }))
            << window.statusLabel()->text().toStdString();
    }

    // Sends a view and waits until the viewer shows its colour at (fx, fy).
    QImage showView(VisMainWindow& window, orvane::SimulationClient& client, float x, float y,
                    float w, float h, const QColor& colour, double fx, double fy)
    {
        client.send(*viewPacket(1, {colour.red(), colour.green(), colour.blue()}, {x, y}, {w, h}));
        QImage picture;
        const bool shown = waitFor([&] {
            picture = viewerPicture(window);
            return !picture.isNull() && near(colourAt(picture, fx, fy), colour);
        });
        EXPECT_TRUE(shown) << "the view's colour never appeared";
        return picture;
    }

    std::string name() const { return embeddingName(GetParam()); }

    int _port = 0;
};

TEST_P(MainWindow, BuildsMenusToolbarAndStatusBar)
{
    run([&](VisMainWindow& window) {
        EXPECT_EQ(window.windowTitle(), "Pellam Orvane");
        EXPECT_FALSE(window.windowIcon().isNull());

        // Menus and entries in table order; GL-only entries only in orvane-gl.
        const bool gl = GetParam() == Embedding::GLWidget;
        QStringList expected, actual;
        for (const MenuEntry& entry : MENU_ENTRIES) {
            if (entry.menu.empty() || (entry.deliverable == Deliverable::GLOnly && !gl))
                continue;
            expected << qstr(entry.menu) + "/" + qstr(entry.text);
        }
        for (QAction* menu : window.menuBar()->actions())
            for (QAction* item : menu->menu()->actions())
                actual << menu->text() + "/" + item->text();
        EXPECT_EQ(actual, expected);

        for (const MenuEntry& entry : MENU_ENTRIES) {
            QAction* action = window.action(entry.command);
            if (entry.deliverable == Deliverable::GLOnly && !gl) {
                EXPECT_EQ(action, nullptr) << entry.text;
                continue;
            }
            ASSERT_NE(action, nullptr) << entry.text;
            EXPECT_EQ(action->shortcut(), QKeySequence(qstr(entry.shortcut))) << entry.text;
            EXPECT_EQ(action->statusTip(), qstr(entry.statusTip)) << entry.text;
            EXPECT_EQ(action->icon().isNull(), entry.icon.empty()) << entry.text;
            EXPECT_EQ(action->isCheckable(), entry.check != Check::None) << entry.text;
            EXPECT_EQ(action->isChecked(), entry.check == Check::Checked) << entry.text;
        }

        // The replay toolbar, left to right.
        QStringList toolbar;
        for (QAction* action : window.replayToolBar()->actions()) {
            if (action->isSeparator())
                toolbar << "|";
            else if (auto* widget = qobject_cast<QWidgetAction*>(action))
                toolbar << widget->defaultWidget()->metaObject()->className();
            else
                toolbar << action->text();
        }
        QStringList expectedToolbar = {
            "Run",       "Rewind",         "Reverse", "Backstep", "Step forward",
            "Forward",   "Repeat Replay",  "|",       "|",        "QSlider",
            "QLabel",    "QDoubleSpinBox", "|",       "QSlider",  "QComboBox",
            "Disconnect"};
        if (gl)
            expectedToolbar << "Camera to home position";
        EXPECT_EQ(toolbar, expectedToolbar);
        EXPECT_EQ(window.replayToolBar()->windowTitle(), "Replay toolbar");

        EXPECT_EQ(window.timeSlider()->maximum(), 1000);
        EXPECT_EQ(window.timeSlider()->toolTip(), "Time slider");
        EXPECT_EQ(window.timeBox()->suffix(), "s");
        EXPECT_EQ(window.timeBox()->decimals(), 3);
        EXPECT_EQ(window.jogDial()->minimum(), -100);
        EXPECT_EQ(window.jogDial()->maximum(), 100);
        EXPECT_EQ(window.jogDial()->value(), 0);
        EXPECT_EQ(window.jogDial()->toolTip(), "Jog-Dial");
        QStringList speeds;
        for (int i = 0; i < window.speedBox()->count(); ++i)
            speeds << window.speedBox()->itemText(i);
        EXPECT_EQ(speeds, QStringList({"0.01", "0.05", "0.1", "0.2", "0.5", "1", "2", "5", "10",
                                       "20", "50", "100"}));
        EXPECT_EQ(window.speedBox()->currentText(), "1");

        // Status bar: the loading label hidden, then the status.
        EXPECT_FALSE(window.loadingLabel()->isVisible());
        EXPECT_TRUE(window.statusLabel()->isVisible());
        EXPECT_EQ(window.statusLabel()->text(), "Status: Offline");
        EXPECT_EQ(window.statusLabel()->width(), 100);

        // Offline: nothing to disconnect, no replay to drive; the speed box stays usable.
        EXPECT_FALSE(window.action(MenuCommand::Disconnect)->isEnabled());
        EXPECT_FALSE(window.action(MenuCommand::Run)->isEnabled());
        EXPECT_FALSE(window.action(MenuCommand::ExportVideo)->isEnabled());
        EXPECT_FALSE(window.timeSlider()->isEnabled());
        EXPECT_FALSE(window.jogDial()->isEnabled());
        EXPECT_TRUE(window.speedBox()->isEnabled());
        EXPECT_TRUE(window.action(MenuCommand::Screenshot)->isEnabled());

        keepPicture(window.screen()->grabWindow(window.winId()).toImage(),
                    "window-" + qstr(name()));
    });
}

TEST_P(MainWindow, ShowsTheSimulationsViewAndFollowsTheConnection)
{
    run([&](VisMainWindow& window) {
        orvane::SimulationClient client;
        connectSimulation(window, client);
        EXPECT_TRUE(window.action(MenuCommand::Disconnect)->isEnabled());
        EXPECT_FALSE(window.action(MenuCommand::OpenReplay)->isEnabled());

        // The top-right quarter: origin (0.5, 0.5), size (0.5, 0.5), y up.
        const QImage picture =
            showView(window, client, 0.5f, 0.5f, 0.5f, 0.5f, kViewColour, 0.75, 0.25);
        ASSERT_FALSE(picture.isNull());
        keepPicture(picture, "view-" + qstr(name()));
        const int w = picture.width(), h = picture.height();
        const QSize size = window.viewerManager().viewerPixelSize();
        EXPECT_EQ(picture.size(), size);
        const int left = int(0.5 * w);             // first column of the view
        const int bottom = h - 1 - int(0.5 * h);   // its lowest row, counted from the top
        const int top = bottom - int(0.5 * h) + 1; // its highest row
        EXPECT_TRUE(near(picture.pixelColor(left, bottom), kViewColour));
        EXPECT_TRUE(near(picture.pixelColor(w - 1, top), kViewColour));
        EXPECT_FALSE(near(picture.pixelColor(left - 1, bottom), kViewColour));
        EXPECT_FALSE(near(picture.pixelColor(left, bottom + 1), kViewColour));
        for (auto [fx, fy] : {std::pair{0.25, 0.25}, {0.25, 0.75}, {0.75, 0.75}})
            EXPECT_TRUE(near(colourAt(picture, fx, fy), kDefaultBackground)) << fx << "," << fy;

        // The simulation leaves: the scene is cleared and the default view draws again.
        client.close();
        EXPECT_TRUE(waitFor([&] { return window.statusLabel()->text() == "Status: Offline"; }))
            << window.statusLabel()->text().toStdString();
        EXPECT_FALSE(window.action(MenuCommand::Disconnect)->isEnabled());
        EXPECT_TRUE(waitFor(
            [&] { return near(colourAt(viewerPicture(window), 0.75, 0.25), kDefaultBackground); }));

        // A second simulation, dropped from the viewer's side by "Disconnect".
        orvane::SimulationClient second;
        connectSimulation(window, second);
        window.action(MenuCommand::Disconnect)->trigger();
        EXPECT_TRUE(waitFor([&] { return window.statusLabel()->text() == "Status: Offline"; }));
        EXPECT_TRUE(waitFor([&] { return !second.isConnected(); }, 5s));
    });
}

// The console over a simulation's own view: F10 shows its panel and text
// over the view and hides them again; an error that opens it by itself
// leaves the keyboard with its prompt, which F10 closes.
TEST_P(MainWindow, ConsoleShowsOverTheSimulationsView)
{
    run([&](VisMainWindow& window) {
        orvane::SimulationClient client;
        connectSimulation(window, client);
        const QColor light(200, 200, 60); // light, so that the panel darkens it
        showView(window, client, 0.f, 0.f, 1.f, 1.f, light, 0.5, 0.5);
        console::writeLine(console::LEVEL_8, "[Test] a level-eight line over the view");
        QWidget* viewer = window.viewerManager().viewerWidget();
        console::ConsoleHandler& console = console::ConsoleHandler::instance();

        // The panel covers the top sixth of the window (its top row and right
        // end hold no text here): 30 % black over the view, with the lines'
        // text in it.
        auto panelShown = [&](const QImage& picture) {
            return !near(colourAt(picture, 0.95, 0.03), light) &&
                   near(colourAt(picture, 0.5, 0.5), light);
        };
        auto textPixels = [&](const QImage& picture) {
            int count = 0;
            for (int y = int(0.01 * picture.height()); y < int(0.175 * picture.height()); ++y)
                for (int x = int(0.01 * picture.width()); x < int(0.99 * picture.width()); ++x) {
                    const QColor c = picture.pixelColor(x, y);
                    count += c.blue() > c.red() + 40 || (c.red() > 230 && c.blue() > 230);
                }
            return count;
        };
        ASSERT_FALSE(panelShown(viewerPicture(window)));
        viewer->setFocus();
        QTest::keyClick(viewer, Qt::Key_F10);
        QImage picture;
        EXPECT_TRUE(waitFor([&] {
            picture = viewerPicture(window);
            return panelShown(picture);
        })) << "the console is not drawn over the simulation's view";
        keepPicture(picture, "console-over-view-" + qstr(name()));
        EXPECT_TRUE(console.visible());
        EXPECT_GT(textPixels(picture), 50) << "no text in the panel";
        const QColor darkened = colourAt(picture, 0.95, 0.03);
        EXPECT_TRUE(near(darkened, QColor(140, 140, 42), 12))
            << darkened.red() << "," << darkened.green() << "," << darkened.blue();

        QTest::keyClick(viewer, Qt::Key_F10);
        EXPECT_TRUE(waitFor([&] { return !panelShown(viewerPicture(window)); }));
        EXPECT_FALSE(console.visible());

        // An error opens it: typed letters go to the prompt, not to the
        // statistics, and F10 closes it at once.
        console::writeLine(console::LEVEL_32, "[Test] an error");
        console::show();
        EXPECT_TRUE(waitFor([&] { return panelShown(viewerPicture(window)); }));
        EXPECT_TRUE(console.visible());
        QTest::keyClick(viewer, Qt::Key_S);
        spin(100ms);
        EXPECT_EQ(console.input(), "s");
        QTest::keyClick(viewer, Qt::Key_Backspace);
        QTest::keyClick(viewer, Qt::Key_F10);
        EXPECT_TRUE(waitFor([&] { return !panelShown(viewerPicture(window)); }));
        EXPECT_FALSE(console.visible());
        EXPECT_EQ(console.input(), "");
    });
}

// The console panel lies over the head-up display: a HUD face under the
// panel is darkened by it like the scene, not drawn over it.
TEST_P(MainWindow, ConsoleShowsOverTheHud)
{
    run([&](VisMainWindow& window) {
        orvane::SimulationClient client;
        connectSimulation(window, client);
        const QColor magenta(255, 0, 255);
        GNP2::Packet face;
        face.setHeader(GNP2::makeHeader(5, TYPE_VisHUDObject));
        face.setIntVector(item::hud::Element, {7});
        face.setFloatVector(item::hud::Position, {500.f, 900.f});
        face.setFloatVector(item::hud::Rotation, {0.f});
        face.setIntVector(item::hud::PointCount, {4});
        face.setFloatVector(item::hud::Points, {0.f, 0.f, 200.f, 0.f, 200.f, 60.f, 0.f, 60.f});
        face.setIntVector(item::hud::Colour, {magenta.red(), magenta.green(), magenta.blue()});
        face.setFloatVector(item::hud::Value, {0.f});
        client.send(face);

        QPoint inFace;
        ASSERT_TRUE(waitFor([&] {
            const QImage picture = viewerPicture(window);
            for (int y = 0; y < picture.height() / 6 && inFace.isNull(); y += 2)
                for (int x = 0; x < picture.width() && inFace.isNull(); x += 2)
                    if (near(picture.pixelColor(x, y), magenta, 4))
                        inFace = QPoint(x, y);
            return !inFace.isNull();
        })) << "the HUD face never appeared in the panel's area";

        QWidget* viewer = window.viewerManager().viewerWidget();
        viewer->setFocus();
        QTest::keyClick(viewer, Qt::Key_F10);
        QColor under;
        EXPECT_TRUE(waitFor([&] {
            under = viewerPicture(window).pixelColor(inFace);
            return !near(under, magenta, 4);
        })) << "the HUD face is drawn over the console";
        // 30 % black over the face, or a line's text in front of it.
        EXPECT_LE(under.red(), 190) << under.red() << "," << under.green() << "," << under.blue();
        QTest::keyClick(viewer, Qt::Key_F10);
        EXPECT_TRUE(
            waitFor([&] { return near(viewerPicture(window).pixelColor(inFace), magenta, 4); }));
    });
}

// A still scene costs no drawing, yet a packet or the user's input is drawn
// at the next tick. (Other programs' windows on the same display may cause
// a frame now and then; a scene drawn every tick would take 100 a second.)
TEST_P(MainWindow, AStillSceneIsDrawnOnlyWhenSomethingChanges)
{
    run([&](VisMainWindow& window) {
        window.setIdleFrameInterval(std::chrono::minutes(1));
        orvane::SimulationClient client;
        connectSimulation(window, client);
        const osg::FrameStamp& stamp = *window.viewerManager().viewer()->getFrameStamp();
        const auto stillFrames = [&] {
            spin(300ms);
            const unsigned before = stamp.getFrameNumber();
            spin(1500ms);
            return stamp.getFrameNumber() - before;
        };
        const auto drawnAfter = [&](const std::function<void()>& change) {
            spin(300ms);
            const unsigned before = stamp.getFrameNumber();
            change();
            return waitFor([&] { return stamp.getFrameNumber() > before; }, 3s);
        };
        EXPECT_LE(stillFrames(), 5u);
        EXPECT_TRUE(drawnAfter([&] {
            client.send(*viewPacket(1, {10, 200, 10}, {0.f, 0.f}, {1.f, 1.f}));
        })) << "a packet";
        QWidget* viewer = window.viewerManager().viewerWidget();
        EXPECT_TRUE(drawnAfter([&] {
            // Sent to the widget, not through the pointer: another test's
            // window on the display may lie over this one.
            const QPoint at = viewer->rect().center();
            QMouseEvent move(QEvent::MouseMove, at, viewer->mapToGlobal(at), Qt::NoButton,
                             Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(viewer, &move);
        })) << "the pointer moving over the view";
        EXPECT_TRUE(drawnAfter([&] { window.action(MenuCommand::WireframeMode)->trigger(); }))
            << "a menu entry";
        EXPECT_LE(stillFrames(), 5u);
    });
}

TEST_P(MainWindow, WireframeSwitchesTheSceneBetweenLinesAndSurfaces)
{
    run([&](VisMainWindow& window) {
        orvane::SimulationClient client;
        connectSimulation(window, client);
        showView(window, client, 0.f, 0.f, 1.f, 1.f, kViewColour, 0.5, 0.5);
        osg::ref_ptr<osg::Geode> geode = box(4.f);
        window.sceneRoot()->addChild(geode.get());

        // Off the box's centre lines and diagonals.
        const double fx = 0.56, fy = 0.52;
        auto surfaceShown = [&] {
            return !near(colourAt(viewerPicture(window), fx, fy), kViewColour);
        };
        ASSERT_TRUE(waitFor(surfaceShown));

        window.action(MenuCommand::WireframeMode)->trigger();
        EXPECT_TRUE(window.wireframe());
        auto* mode = dynamic_cast<osg::PolygonMode*>(
            geode->getOrCreateStateSet()->getAttribute(osg::StateAttribute::POLYGONMODE));
        ASSERT_NE(mode, nullptr);
        EXPECT_EQ(mode->getMode(osg::PolygonMode::FRONT_AND_BACK), osg::PolygonMode::LINE);
        EXPECT_TRUE(waitFor([&] { return !surfaceShown(); }));
        keepPicture(viewerPicture(window), "wireframe-" + qstr(name()));

        window.action(MenuCommand::WireframeMode)->trigger();
        EXPECT_FALSE(window.wireframe());
        EXPECT_TRUE(waitFor(surfaceShown));
    });
}

TEST_P(MainWindow, ShadowsSwitchOnAndOffAndNeverDrawAnEmptySceneBlack)
{
    run([&](VisMainWindow& window) {
        QAction* shadows = window.action(MenuCommand::Shadows);
        shadows->trigger();
        EXPECT_TRUE(shadows->isChecked());
        auto* technique =
            dynamic_cast<osgShadow::SoftShadowMap*>(window.sceneRoot()->getShadowTechnique());
        ASSERT_NE(technique, nullptr);
        EXPECT_FLOAT_EQ(technique->getBias(), 1.0f);
        EXPECT_EQ(technique->getAmbientBias(), SCENE_SHADOW_AMBIENT_BIAS);
        EXPECT_FLOAT_EQ(technique->getJitteringScale(), 8.0f);
        EXPECT_EQ(technique->getJitterTextureUnit(), 64u);
        EXPECT_FLOAT_EQ(technique->getSoftnessWidth(), 0.003f);
        EXPECT_EQ(technique->getTextureSize(), osg::Vec2s(1024, 1024));
        EXPECT_EQ(window.sceneRoot()->getReceivesShadowTraversalMask(), 0x8u);
        EXPECT_EQ(window.sceneRoot()->getCastsShadowTraversalMask(), 0x16u);

        // An empty scene, then one that only receives shadows: nothing casts.
        QImage picture = viewerPicture(window);
        ASSERT_FALSE(picture.isNull());
        EXPECT_TRUE(near(colourAt(picture, 0.5, 0.5), kDefaultBackground));

        orvane::SimulationClient client;
        connectSimulation(window, client);
        showView(window, client, 0.f, 0.f, 1.f, 1.f, kViewColour, 0.1, 0.1);
        osg::ref_ptr<osg::Geode> receiver = box(4.f, 0x8);
        window.sceneRoot()->addChild(receiver.get());
        spin(300ms);
        picture = viewerPicture(window);
        keepPicture(picture, "shadows-receiver-" + qstr(name()));
        EXPECT_FALSE(black(colourAt(picture, 0.56, 0.52))) << "a receiver without casters is black";
        EXPECT_FALSE(near(colourAt(picture, 0.56, 0.52), kViewColour)) << "the box is not drawn";

        // With a caster the shadow pass runs and the box is still drawn lit.
        receiver->setNodeMask(0x1E);
        spin(300ms);
        picture = viewerPicture(window);
        keepPicture(picture, "shadows-caster-" + qstr(name()));
        EXPECT_FALSE(black(colourAt(picture, 0.56, 0.52)));
        EXPECT_TRUE(near(colourAt(picture, 0.05, 0.05), kViewColour));

        shadows->trigger();
        EXPECT_FALSE(shadows->isChecked());
        EXPECT_EQ(window.sceneRoot()->getShadowTechnique(), nullptr);
    });
}

// What a user sees after Ctrl+L: a box standing on a floor and lit from
// the side by a sun casts a dark patch onto the floor beside it, and the lit
// floor keeps its brightness.
TEST_P(MainWindow, ShadowsDarkenTheFloorBesideABox)
{
    run([&](VisMainWindow& window) {
        orvane::SimulationClient client;
        connectSimulation(window, client);
        auto view = viewPacket(1, {0, 0, 0}, {0.f, 0.f}, {1.f, 1.f});
        view->setIntVector(item::view::CameraControl, {view::LOOK_AT});
        view->setFloatVector(item::view::Eye, {0.f, -14.f, 12.f});
        view->setFloatVector(item::view::Centre, {0.f, 0.f, 0.f});
        view->setFloatVector(item::view::Up, {0.f, 0.f, 1.f});
        client.send(*view);
        ASSERT_TRUE(waitFor([&] { return !window.viewerManager().views().empty(); }));

        // Floor and box cast and receive, as every 3D object does (mask
        // 0x1E); the sun shines along (1, 0, -1) from the left.
        osg::ref_ptr<osg::Group> scene = new osg::Group;
        osg::ref_ptr<osg::Geode> floor = new osg::Geode;
        floor->addDrawable(
            new osg::ShapeDrawable(new osg::Box(osg::Vec3(0, 0, -0.1f), 20.f, 20.f, 0.2f)));
        floor->setNodeMask(0x1E);
        osg::ref_ptr<osg::Geode> block = new osg::Geode;
        block->addDrawable(new osg::ShapeDrawable(new osg::Box(osg::Vec3(0, 0, 1.f), 2.f)));
        block->setNodeMask(0x1E);
        osg::ref_ptr<osg::Light> sun = new osg::Light(1);
        sun->setPosition({-1.f, 0.f, 1.f, 0.f});
        sun->setDiffuse({0.8f, 0.8f, 0.8f, 1.f});
        sun->setAmbient({0.2f, 0.2f, 0.2f, 1.f});
        osg::ref_ptr<osg::LightSource> source = new osg::LightSource;
        source->setLight(sun.get());
        source->setNodeMask(0x1E);
        scene->addChild(floor.get());
        scene->addChild(block.get());
        scene->addChild(source.get());
        window.sceneRoot()->addChild(scene.get());
        spin(300ms);

        // Where floor points lie in the picture.
        osg::Camera* camera = window.viewerManager().views().front()->camera();
        auto brightness = [&](const QImage& picture, const osg::Vec3& point) {
            const osg::Matrix toWindow = camera->getViewMatrix() * camera->getProjectionMatrix() *
                                         camera->getViewport()->computeWindowMatrix();
            const osg::Vec3 at = point * toWindow;
            const QColor c = picture.pixelColor(int(at.x()), picture.height() - 1 - int(at.y()));
            return c.red() + c.green() + c.blue();
        };
        const osg::Vec3 shadowed(2.5f, 0.f, 0.f); // behind the box, seen from the sun
        const osg::Vec3 lit(-2.5f, 0.f, 0.f);     // before it
        QImage picture = viewerPicture(window);
        ASSERT_FALSE(picture.isNull());
        keepPicture(picture, "shadows-off-" + qstr(name()));
        const int litOff = brightness(picture, lit);
        EXPECT_NEAR(brightness(picture, shadowed), litOff, 30) << "the floor is lit alike";

        window.action(MenuCommand::Shadows)->trigger();
        spin(500ms);
        picture = viewerPicture(window);
        keepPicture(picture, "shadows-on-" + qstr(name()));
        const int litOn = brightness(picture, lit);
        const int shadowOn = brightness(picture, shadowed);
        EXPECT_LT(shadowOn, litOn * 7 / 10) << "no shadow beside the box";
        EXPECT_NEAR(litOn, litOff, 40) << "shadows wash out (or darken) the lit floor";
        window.action(MenuCommand::Shadows)->trigger();
        window.sceneRoot()->removeChild(scene.get());
    });
}

TEST_P(MainWindow, ShadowSwitchIsStoredAndRestored)
{
    {
        QSettings store = settings();
        store.setValue("Rendering/Shadows", true);
    }
    run([&](VisMainWindow& window) {
        EXPECT_TRUE(window.action(MenuCommand::Shadows)->isChecked());
        EXPECT_NE(window.sceneRoot()->getShadowTechnique(), nullptr);
        const QImage picture = viewerPicture(window);
        ASSERT_FALSE(picture.isNull());
        EXPECT_TRUE(near(colourAt(picture, 0.5, 0.5), kDefaultBackground));
        window.action(MenuCommand::Shadows)->trigger();
    });
    EXPECT_FALSE(settings().value("Rendering/Shadows").toBool());
    run([&](VisMainWindow& window) {
        EXPECT_EQ(window.sceneRoot()->getShadowTechnique(), nullptr);
        window.action(MenuCommand::Shadows)->trigger();
    });
    EXPECT_TRUE(settings().value("Rendering/Shadows").toBool());
}

TEST_P(MainWindow, StereoSwitchReachesTheViews)
{
    run([&](VisMainWindow& window) {
        orvane::SimulationClient client;
        connectSimulation(window, client);
        showView(window, client, 0.f, 0.f, 1.f, 1.f, QColor(0, 0, 0), 0.5, 0.9);
        window.sceneRoot()->addChild(box(4.f).get());
        spin(200ms);

        // Anaglyph stereo draws the eyes in red and in cyan: a grey box gets
        // coloured fringes where the eyes see it differently.
        auto fringes = [&] {
            const QImage picture = viewerPicture(window);
            int count = 0;
            for (int y = 0; y < picture.height(); y += 2)
                for (int x = 0; x < picture.width(); x += 2) {
                    const QColor c = picture.pixelColor(x, y);
                    count += std::abs(c.red() - c.green()) > 60;
                }
            return count;
        };
        EXPECT_EQ(fringes(), 0);
        window.action(MenuCommand::StereoMode)->trigger();
        EXPECT_TRUE(osg::DisplaySettings::instance()->getStereo());
        EXPECT_TRUE(waitFor([&] { return fringes() > 20; }, 5s));
        keepPicture(viewerPicture(window), "stereo-" + qstr(name()));
        window.action(MenuCommand::StereoMode)->trigger();
        EXPECT_FALSE(osg::DisplaySettings::instance()->getStereo());
        EXPECT_TRUE(waitFor([&] { return fringes() == 0; }, 5s));
    });
}

TEST_P(MainWindow, ScreenshotWritesTheViewAndReportsAFailedWrite)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    run([&](VisMainWindow& window) {
        orvane::SimulationClient client;
        connectSimulation(window, client);
        showView(window, client, 0.5f, 0.5f, 0.5f, 0.5f, kViewColour, 0.75, 0.25);

        // Takes a screenshot, answering the file dialog with `answer`.
        auto screenshot = [&](const std::function<void(QFileDialog&)>& answer) {
            bool answered = false;
            answerNextDialog(
                "QFileDialog", [&](QWidget* dialog) { answer(*static_cast<QFileDialog*>(dialog)); },
                &answered);
            window.action(MenuCommand::Screenshot)->trigger();
            EXPECT_TRUE(answered);
        };
        auto checkPicture = [&](const QString& path) {
            const QImage picture(path);
            ASSERT_FALSE(picture.isNull()) << path.toStdString();
            EXPECT_EQ(picture.size(), window.viewerManager().viewerPixelSize());
            EXPECT_TRUE(near(colourAt(picture, 0.75, 0.25), kViewColour));
            EXPECT_TRUE(near(colourAt(picture, 0.25, 0.75), kDefaultBackground));
        };

        // Types a name into the dialog as a user does, and saves.
        auto choose = [](QFileDialog& dialog, const QString& path) {
            auto* name = dialog.findChild<QLineEdit*>("fileNameEdit");
            ASSERT_NE(name, nullptr);
            name->setText(path);
            static_cast<QDialog&>(dialog).accept();
        };

        // A name without extension takes the chosen filter's: PNG, then BMP.
        screenshot([&](QFileDialog& dialog) { choose(dialog, folder.filePath("shot")); });
        checkPicture(folder.filePath("shot.png"));
        screenshot([&](QFileDialog& dialog) {
            dialog.selectNameFilter("Bitmap file (*.bmp)");
            choose(dialog, folder.filePath("picture"));
        });
        checkPicture(folder.filePath("picture.bmp"));
        EXPECT_TRUE(QFile(folder.filePath("picture.bmp")).open(QIODevice::ReadOnly));

        // Cancelled: nothing written, nothing said.
        const int filesBefore = int(QDir(folder.path()).entryList(QDir::Files).size());
        screenshot([](QFileDialog& dialog) { dialog.reject(); });
        spin(300ms);
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
        EXPECT_EQ(int(QDir(folder.path()).entryList(QDir::Files).size()), filesBefore);

        // A folder that does not exist: a message box says so.
        QString message;
        bool told = false;
        acceptNextMessageBox(message, &told);
        screenshot(
            [&](QFileDialog& dialog) { choose(dialog, folder.filePath("missing/shot.png")); });
        EXPECT_TRUE(waitFor([&] { return told; }, 5s));
        EXPECT_TRUE(message.contains("could not be written")) << message.toStdString();
        EXPECT_TRUE(message.contains("missing/shot.png")) << message.toStdString();
    });
}

TEST_P(MainWindow, FullScreenEscapeAndGeometryAreKept)
{
    {
        QSettings store = settings();
        store.setValue("WindowProperties/Geometry/X", 150);
        store.setValue("WindowProperties/Geometry/Y", 120);
        store.setValue("WindowProperties/Geometry/Width", 800);
        store.setValue("WindowProperties/Geometry/Height", 600);
    }
    QRect fullScreenGeometry;
    run([&](VisMainWindow& window) {
        EXPECT_TRUE(waitFor([&] { return window.geometry() == QRect(150, 120, 800, 600); }, 5s))
            << window.geometry().x() << "," << window.geometry().y() << " "
            << window.geometry().width() << "x" << window.geometry().height();

        QAction* fullScreen = window.action(MenuCommand::FullScreen);
        fullScreen->trigger();
        EXPECT_TRUE(window.isFullScreen());
        EXPECT_FALSE(window.menuBar()->isVisible());
        EXPECT_FALSE(window.statusBar()->isVisible());
        EXPECT_TRUE(window.replayToolBar()->isVisible());

        // The Escape shortcut (activated directly: on a display shared with
        // other tests the window cannot be relied on to hold the keyboard).
        QShortcut* escape = nullptr;
        for (QShortcut* shortcut : window.findChildren<QShortcut*>())
            if (shortcut->key() == QKeySequence(Qt::Key_Escape))
                escape = shortcut;
        ASSERT_NE(escape, nullptr);
        EXPECT_EQ(escape->context(), Qt::WindowShortcut);
        emit escape->activated();
        EXPECT_FALSE(window.isFullScreen());
        EXPECT_FALSE(fullScreen->isChecked());
        EXPECT_TRUE(window.menuBar()->isVisible());
        EXPECT_TRUE(window.statusBar()->isVisible());
        EXPECT_TRUE(waitFor([&] { return window.geometry() == QRect(100, 100, 1024, 768); }, 5s))
            << window.geometry().x() << "," << window.geometry().y() << " "
            << window.geometry().width() << "x" << window.geometry().height();

        // Hidden bars stay hidden when full screen ends.
        window.action(MenuCommand::Statusbar)->trigger();
        EXPECT_FALSE(window.statusBar()->isVisible());
        fullScreen->trigger();
        fullScreen->trigger();
        EXPECT_FALSE(window.isFullScreen());
        EXPECT_FALSE(window.statusBar()->isVisible());
        window.action(MenuCommand::Statusbar)->trigger();
        EXPECT_TRUE(window.statusBar()->isVisible());
        window.action(MenuCommand::Toolbar)->trigger();
        EXPECT_FALSE(window.replayToolBar()->isVisible());
        window.action(MenuCommand::Toolbar)->trigger();

        // Leave full screen on: the next start comes back full screen.
        fullScreen->trigger();
        waitFor([] { return false; }, 300ms);
        fullScreenGeometry = window.geometry();
    });
    QSettings store = settings();
    EXPECT_TRUE(store.value("WindowProperties/Fullscreen").toBool());
    EXPECT_EQ(store.value("WindowProperties/Geometry/X").toInt(), fullScreenGeometry.x());
    EXPECT_EQ(store.value("WindowProperties/Geometry/Width").toInt(), fullScreenGeometry.width());
    run([&](VisMainWindow& window) {
        EXPECT_TRUE(window.isFullScreen());
        EXPECT_TRUE(window.action(MenuCommand::FullScreen)->isChecked());
        EXPECT_FALSE(window.menuBar()->isVisible());
    });
}

TEST_P(MainWindow, JogDialSpringsBackUnlessDraggedAndFollowsTheToolbar)
{
    run([&](VisMainWindow& window) {
        QSlider* dial = window.jogDial();
        for (QAbstractSlider::SliderAction action :
             {QAbstractSlider::SliderPageStepAdd, QAbstractSlider::SliderPageStepSub,
              QAbstractSlider::SliderSingleStepAdd, QAbstractSlider::SliderSingleStepSub,
              QAbstractSlider::SliderToMinimum, QAbstractSlider::SliderToMaximum}) {
            dial->triggerAction(action);
            EXPECT_EQ(dial->value(), 0) << "action " << action;
        }
        dial->setSliderDown(true);
        dial->setSliderPosition(40);
        EXPECT_EQ(dial->value(), 40) << "a drag must not spring back";
        dial->setSliderDown(false);

        window.addToolBar(Qt::LeftToolBarArea, window.replayToolBar());
        EXPECT_EQ(window.timeSlider()->orientation(), Qt::Vertical);
        EXPECT_EQ(dial->orientation(), Qt::Vertical);
        window.addToolBar(Qt::TopToolBarArea, window.replayToolBar());
        EXPECT_EQ(window.timeSlider()->orientation(), Qt::Horizontal);
        EXPECT_EQ(dial->orientation(), Qt::Horizontal);
    });
}

INSTANTIATE_TEST_SUITE_P(App, MainWindow,
                         testing::Values(Embedding::NativeWindow, Embedding::GLWidget),
                         [](const testing::TestParamInfo<Embedding>& row) {
                             return embeddingName(row.param);
                         });

} // namespace
