// The replay toolbar on the real main window: a simulation streams a moving
// object and leaves; the recording then plays in the window, and the time
// box, the time slider and play show the states the live run had.
#include <QAction>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QFile>
#include <QMessageBox>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QSlider>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "MainWindowHarness.h"
#include "app/VisMainWindow.h"
#include "client/SimulationClient.h"
#include "objects/VisLightObject.h"
#include "protocol/Items.h"
#include "scene/ObjectManager.h"
#include "scene/Vis3DObject.h"

using namespace apptest;
using namespace std::chrono_literals;

namespace {

constexpr int STEPS = 10;

double positionOf(VisMainWindow& window, int objectNumber)
{
    auto* object = dynamic_cast<Vis3DObject*>(
        window.objectManager().updateCallback().findObject(0, objectNumber));
    return object ? object->getTranslation().getTrans().x() : -1.0;
}

// Runs `body` in the real main window once a simulation (the client) is
// connected and the window says so; no OpenGL error may occur meanwhile.
template <typename Body> void runOnline(Body&& body)
{
    glErrors().clear();
    const int port = freePort();
    ASSERT_NE(port, 0);
    runInMainWindow(port, Embedding::NativeWindow, [&](VisMainWindow& window) {
        orvane::SimulationClient client;
        client.connect("127.0.0.1", port);
        ASSERT_TRUE(waitFor([&] { return window.statusLabel()->text() == "Status: Online"; }));
        body(window, client);
    });
    const std::vector<std::string> errors = glErrors().errors();
    EXPECT_TRUE(errors.empty()) << errors.size() << " OpenGL errors, first: " << errors[0];
}

TEST(ReplayToolbar, PlaysScrubsAndStepsThroughWhatTheSimulationDid)
{
    {
        QSettings store(QSettings::IniFormat, QSettings::UserScope, "Pellam", "Orvane");
        store.clear();
        store.sync();
    }
    runOnline([&](VisMainWindow& window, orvane::SimulationClient& client) {
        // Object 1 (a box) moves to x = 10 k + 1 in step k; object 2 only
        // every third step, so most frames leave it alone.
        std::vector<double> live1, live2;
        for (int k = 0; k < STEPS; ++k) {
            GNP2::Packet time = testsupport::timePacket(float(k) * 0.1f);
            client.queue(time);
            for (int o = 1; o <= 2; ++o) {
                if (o == 2 && k % 3 != 0)
                    continue;
                GNP2::Packet p;
                p.setHeader(GNP2::makeHeader(std::uint32_t(o), TYPE_VisBaseObject));
                p.setIntVector(item::shape::ShapeKind, {1});
                p.setFloatVector(item::shape::Position, {float(10 * k + o), 0.f, 0.f});
                client.queue(p);
            }
            client.flush();
            ASSERT_TRUE(waitFor([&] { return positionOf(window, 1) == 10 * k + 1; }));
            live1.push_back(positionOf(window, 1));
            live2.push_back(positionOf(window, 2));
        }
        client.close();
        ASSERT_TRUE(waitFor([&] { return window.statusLabel()->text() == "Status: Replay"; }));

        QAction* run = window.action(MenuCommand::Run);
        EXPECT_TRUE(run->isEnabled());
        EXPECT_TRUE(window.timeSlider()->isEnabled());
        EXPECT_DOUBLE_EQ(window.timeBox()->minimum(), 0.0);
        EXPECT_NEAR(window.timeBox()->maximum(), 0.9, 1e-6);
        EXPECT_TRUE(window.replayTransport().isPaused());

        auto shows = [&](int k) {
            return waitFor([&] {
                return positionOf(window, 1) == live1[std::size_t(k)] &&
                       positionOf(window, 2) == live2[std::size_t(k)];
            });
        };
        EXPECT_TRUE(shows(0)) << "entering the replay shows its first time";

        window.timeBox()->setValue(0.7);
        EXPECT_TRUE(shows(7)) << "time box";
        window.timeBox()->setValue(0.2); // backwards: object 2 goes back to step 0
        EXPECT_TRUE(shows(2)) << "time box backwards";

        // Dragging the slider to 500 of the 0-0.9 s range is 0.45 s: step 4.
        QSlider* slider = window.timeSlider();
        slider->setSliderDown(true);
        slider->setSliderPosition(500);
        slider->setSliderDown(false);
        EXPECT_TRUE(shows(4)) << "slider";

        window.action(MenuCommand::Rewind)->trigger();
        EXPECT_TRUE(shows(0)) << "rewind";

        // Play to the end: playback stops at the last time with the play icon.
        run->trigger();
        EXPECT_FALSE(window.replayTransport().isPaused());
        EXPECT_TRUE(waitFor([&] { return window.replayTransport().isPaused(); }, 10s));
        EXPECT_TRUE(shows(STEPS - 1)) << "played to the end";
        EXPECT_NEAR(window.timeBox()->value(), 0.9, 1e-6);

        // Save the recording under a name of the user's, then open it again.
        QTemporaryDir folder;
        ASSERT_TRUE(folder.isValid());
        const QString saved = folder.filePath("run.dat");
        auto choose = [&](QWidget* dialog) {
            auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
            ASSERT_NE(name, nullptr);
            name->setText(saved);
            static_cast<QDialog*>(dialog)->accept();
        };
        bool answered = false;
        answerNextDialog("QFileDialog", choose, &answered);
        window.action(MenuCommand::SaveReplay)->trigger();
        EXPECT_TRUE(answered);
        EXPECT_GT(QFileInfo(saved).size(), 0);
        EXPECT_EQ(QFileInfo(saved).size(),
                  QFileInfo(window.objectManager().temporaryReplayPath()).size());

        answered = false;
        answerNextDialog("QFileDialog", choose, &answered);
        window.action(MenuCommand::OpenReplay)->trigger();
        EXPECT_TRUE(answered);
        ASSERT_NE(window.objectManager().replay(), nullptr);
        EXPECT_EQ(window.objectManager().replay()->fileName(), saved.toStdString());
        EXPECT_EQ(window.statusLabel()->text(), "Status: Replay");
        EXPECT_TRUE(shows(0)) << "a loaded replay starts at its first time";
        window.timeBox()->setValue(0.5);
        EXPECT_TRUE(shows(5)) << "the loaded replay scrubs like the recording";

        // A file that holds no replay is refused with a box saying why; the
        // replay shown stays, and so does its time range.
        const QString notes = folder.filePath("notes.dat");
        QFile text(notes);
        ASSERT_TRUE(text.open(QIODevice::WriteOnly));
        text.write("Temperature log\n12.5 13.0 13.5\n");
        text.close();
        QString said;
        answerNextDialog(
            "QFileDialog",
            [&](QWidget* dialog) {
                dialog->findChild<QLineEdit*>("fileNameEdit")->setText(notes);
                static_cast<QDialog*>(dialog)->accept();
            },
            nullptr);
        answered = false;
        acceptNextMessageBox(said, &answered);
        window.action(MenuCommand::OpenReplay)->trigger();
        EXPECT_TRUE(answered) << "refused without a word";
        EXPECT_TRUE(said.contains("holds no replay record")) << said.toStdString();
        EXPECT_EQ(window.objectManager().replay()->fileName(), saved.toStdString());
        EXPECT_NEAR(window.timeBox()->maximum(), 0.9, 1e-6);
        EXPECT_TRUE(shows(5));
    });
}

// The light numbers of objects 1..count in the window's scene, -1 for a
// missing one.
std::vector<int> lightNumbers(VisMainWindow& window, int count)
{
    std::vector<int> numbers;
    for (int o = 1; o <= count; ++o) {
        auto* light =
            dynamic_cast<VisLightObject*>(window.objectManager().updateCallback().findObject(0, o));
        numbers.push_back(light && light->isInitialized() ? light->lightNumber() : -1);
    }
    return numbers;
}

TEST(ReplayLights, ReplayedLightsTakeTheNumbersTheyHadLive)
{
    // Lights are numbered in the order they are created, from a counter that
    // clearing the scene resets. The replay clears the live scene and creates
    // the lights again, so they must come back as the same OpenGL lights and
    // be switched on, not left dark by the live lights going away.
    runOnline([&](VisMainWindow& window, orvane::SimulationClient& client) {
        for (int k = 0; k < 3; ++k) {
            GNP2::Packet time = testsupport::timePacket(float(k) * 0.1f);
            client.queue(time);
            for (int o = 1; o <= 3; ++o) {
                GNP2::Packet light;
                light.setHeader(GNP2::makeHeader(std::uint32_t(o), TYPE_VisLightObject));
                light.setIntVector(item::light::Directional, {0});
                light.setIntVector(item::light::Diffuse, {80 * o, 40, 40});
                light.setFloatVector(item::light::Position, {float(o), float(k), 2.f});
                client.queue(light);
            }
            client.flush();
        }
        const std::vector<int> live{0, 1, 2};
        ASSERT_TRUE(waitFor([&] { return lightNumbers(window, 3) == live; }));

        client.close();
        ASSERT_TRUE(waitFor([&] { return window.statusLabel()->text() == "Status: Replay"; }));
        EXPECT_TRUE(waitFor([&] { return lightNumbers(window, 3) == live; }))
            << "replayed numbers " << ::testing::PrintToString(lightNumbers(window, 3));
        for (int o = 1; o <= 3; ++o) {
            auto* light = dynamic_cast<VisLightObject*>(
                window.objectManager().updateCallback().findObject(0, o));
            ASSERT_NE(light, nullptr);
            ASSERT_NE(light->switchedStateSet(), nullptr);
            EXPECT_TRUE(light->switchedStateSet()->getMode(GLenum(GL_LIGHT0 + o - 1)) &
                        osg::StateAttribute::ON)
                << "light " << o - 1 << " is dark in the replay";
        }
    });
}

} // namespace
