// What a new user sees and uses first in the real main window: the words
// over the empty view while no simulation is connected, the port the link
// really listens on (status bar, About box), and the replay's slider and
// keys.
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QSlider>
#include <QStyle>
#include <QTest>

#include <gtest/gtest.h>

#include "MainWindowHarness.h"
#include "RecordedRun.h"
#include "app/CommandLine.h"
#include "app/VisMainWindow.h"
#include "client/SimulationClient.h"
#include "net/PacketRing.h"
#include "net/TCPServer.h"
#include "scene/ObjectManager.h"

using namespace apptest;
using namespace std::chrono_literals;

namespace {

// Pixels of the picture's middle band (40 % to 60 % of its height) that are
// nearly white: the words over the view. The rest of the view is far darker.
struct BrightPixels
{
    int inBand = 0;
    int outside = 0;
};
BrightPixels brightPixels(const QImage& picture)
{
    BrightPixels count;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) {
            const QColor c = picture.pixelColor(x, y);
            if (c.red() < 200 || c.green() < 200 || c.blue() < 200)
                continue;
            const bool band = y > picture.height() * 2 / 5 && y < picture.height() * 3 / 5;
            (band ? count.inBand : count.outside) += 1;
        }
    return count;
}

class OfflineWindow : public testing::TestWithParam<Embedding>
{
};

TEST_P(OfflineWindow, SaysItWaitsForASimulationOnItsPortUntilOneConnects)
{
    const int port = freePort();
    const QString name = GetParam() == Embedding::NativeWindow ? "native" : "glwidget";
    runInMainWindow(port, GetParam(), [&](VisMainWindow& window) {
        const QString portText = QString("Port %1").arg(port);
        EXPECT_TRUE(waitFor([&] { return window.portLabel()->text() == portText; }))
            << window.portLabel()->text().toStdString();
        EXPECT_EQ(window.statusLabel()->text(), "Status: Offline");
        EXPECT_TRUE(window.offlineNotice().visible());
        EXPECT_EQ(window.offlineNotice().title(),
                  "Waiting for a simulation on port " + std::to_string(port));

        const QImage offline = viewerPicture(window);
        ASSERT_FALSE(offline.isNull());
        keepPicture(offline, "offline-notice-" + name);
        const BrightPixels words = brightPixels(offline);
        EXPECT_GT(words.inBand, 400) << "no words over the empty view";
        EXPECT_EQ(words.outside, 0);

        orvane::SimulationClient client;
        client.connect("127.0.0.1", port);
        ASSERT_TRUE(waitFor([&] { return window.statusLabel()->text() == "Status: Online"; }));
        EXPECT_FALSE(window.offlineNotice().visible());
        EXPECT_EQ(window.portLabel()->text(), portText);
        const QImage online = viewerPicture(window);
        keepPicture(online, "online-without-notice-" + name);
        EXPECT_EQ(brightPixels(online).inBand, 0) << "the words stay while a simulation is on";
        client.close();
    });
}

INSTANTIATE_TEST_SUITE_P(FirstLook, OfflineWindow,
                         testing::Values(Embedding::NativeWindow, Embedding::GLWidget),
                         [](const testing::TestParamInfo<Embedding>& row) {
                             return std::string(row.param == Embedding::NativeWindow ? "Native"
                                                                                     : "GLWidget");
                         });

QString aboutText(VisMainWindow& window)
{
    QString text;
    DialogAnswer about("QMessageBox", [&](QWidget* box) {
        text = qobject_cast<QMessageBox*>(box)->text();
        qobject_cast<QMessageBox*>(box)->accept();
    });
    window.action(MenuCommand::About)->trigger();
    EXPECT_TRUE(about.answered());
    return text;
}

TEST(ListeningPort, PortZeroShowsThePortTheSystemChose)
{
    runInMainWindow(0, Embedding::NativeWindow, [&](VisMainWindow& window) {
        TCPServer& server = window.objectManager().server();
        ASSERT_TRUE(waitFor([&] { return server.listening(); }));
        const int chosen = server.port();
        ASSERT_GT(chosen, 0);
        EXPECT_TRUE(waitFor([&] {
            return window.portLabel()->text() == QString("Port %1").arg(chosen);
        })) << window.portLabel()->text().toStdString();
        const QString about = aboutText(window);
        EXPECT_TRUE(about.contains(QString("Listening on TCP port %1.").arg(chosen)));
        EXPECT_TRUE(about.contains(QString::fromStdString(commandline::versionLine("orvane"))))
            << "the version as --version prints it: " << about.toStdString();
        EXPECT_EQ(window.offlineNotice().title(),
                  "Waiting for a simulation on port " + std::to_string(chosen));
        // A simulation really reaches it there.
        orvane::SimulationClient client;
        client.connect("127.0.0.1", chosen);
        EXPECT_TRUE(waitFor([&] { return window.statusLabel()->text() == "Status: Online"; }));
        client.close();
    });
}

TEST(ListeningPort, ATakenPortIsSaidNotClaimed)
{
    PacketRing receive, send;
    TCPServer other(0, receive, send);
    ASSERT_TRUE(other.waitUntilListening(5s));
    const int taken = other.port();
    runInMainWindow(taken, Embedding::NativeWindow, [&](VisMainWindow& window) {
        spin(500ms);
        EXPECT_FALSE(window.objectManager().server().listening());
        EXPECT_EQ(window.portLabel()->text(), "Not listening");
        const QString about = aboutText(window);
        EXPECT_TRUE(about.contains(QString("cannot open TCP port %1").arg(taken)))
            << about.toStdString();
        EXPECT_FALSE(about.contains("Listening on")) << about.toStdString();
        EXPECT_EQ(window.offlineNotice().title(),
                  "Cannot listen on TCP port " + std::to_string(taken));
        keepPicture(viewerPicture(window), "offline-notice-port-taken");
    });
}

TEST(ReplayControls, TheTimeSliderJumpsToWhereItsGrooveIsClicked)
{
    const int port = freePort();
    runInMainWindow(port, Embedding::NativeWindow, [&](VisMainWindow& window) {
        ASSERT_TRUE(recordRun(window, port)); // 0 to 0.9 s
        QSlider* slider = window.timeSlider();
        ASSERT_TRUE(waitFor([&] { return slider->isEnabled(); }));
        EXPECT_NEAR(window.replayTransport().time(), 0.0, 1e-6);

        // The groove spans the slider less half a handle at each end.
        const int handle = slider->style()->pixelMetric(QStyle::PM_SliderLength, nullptr, slider);
        const int x = handle / 2 + (slider->width() - handle) * 3 / 4;
        QTest::mouseClick(slider, Qt::LeftButton, {}, QPoint(x, slider->height() / 2));
        EXPECT_NEAR(window.replayTransport().time(), 0.9 * 0.75, 0.03);
        EXPECT_NEAR(slider->value(), 750, 30);
        EXPECT_TRUE(window.replayTransport().isPaused()) << "a click moves, it does not play";

        // Later playback steps keep the slider where the time is.
        spin(200ms);
        EXPECT_NEAR(slider->value(), 750, 30);
    });
}

TEST(ReplayControls, KeysPlayPauseAndStepWhileTheViewHasTheFocus)
{
    const int port = freePort();
    runInMainWindow(port, Embedding::NativeWindow, [&](VisMainWindow& window) {
        ASSERT_TRUE(recordRun(window, port)); // 0 to 0.9 s: a step is 0.0009 s, a move 0.009 s
        QWidget* view = window.viewerManager().viewerWidget();
        // Other tests' windows on the same display may take the activation
        // (there is no window manager to keep it), and the menu's shortcuts
        // answer only in the active window: the view takes it back before
        // every key, as a user's click on it would.
        auto focusView = [&] {
            window.raise();
            window.activateWindow();
            QApplication::setActiveWindow(&window);
            view->setFocus();
            return waitFor([&] { return window.isActiveWindow() && view->hasFocus(); });
        };
        ASSERT_TRUE(focusView());
        const ReplayTransport& transport = window.replayTransport();
        auto press = [&](Qt::Key key, Qt::KeyboardModifiers modifiers) {
            EXPECT_TRUE(focusView());
            QTest::keyClick(view, key, modifiers);
            spin(50ms);
            return transport.time();
        };

        EXPECT_NEAR(press(Qt::Key_Right, Qt::ControlModifier), 0.0009, 1e-5) << "Ctrl+Right";
        EXPECT_NEAR(press(Qt::Key_Right, Qt::ControlModifier | Qt::ShiftModifier), 0.0099, 1e-5)
            << "Ctrl+Shift+Right";
        EXPECT_NEAR(press(Qt::Key_Right, Qt::ControlModifier | Qt::ShiftModifier), 0.0189, 1e-5);
        EXPECT_NEAR(press(Qt::Key_Left, Qt::ControlModifier), 0.018, 1e-5) << "Ctrl+Left";
        EXPECT_NEAR(press(Qt::Key_Left, Qt::ControlModifier | Qt::ShiftModifier), 0.009, 1e-5)
            << "Ctrl+Shift+Left";
        EXPECT_NEAR(press(Qt::Key_Home, Qt::ControlModifier), 0.0, 1e-6) << "Ctrl+Home";

        // F3 plays and pauses.
        EXPECT_TRUE(transport.isPaused());
        press(Qt::Key_F3, Qt::NoModifier);
        EXPECT_FALSE(transport.isPaused());
        // The replay advances with the frames, which come slowly on a loaded
        // machine: wait for it to move rather than for a fixed time.
        EXPECT_TRUE(waitFor([&] { return transport.time() > 0.1; }));
        press(Qt::Key_F3, Qt::NoModifier);
        EXPECT_TRUE(transport.isPaused());
        const double pausedAt = transport.time();
        spin(200ms);
        EXPECT_EQ(transport.time(), pausedAt) << "F3 paused the replay";
    });
}

} // namespace
