// The two programs as a user starts them: each is started on a free port
// with its own settings, on an X server of its own (no other test's window
// can cover it there), a simulation connects through the client library and
// creates a view, and the screen must show the view's colour in the view's
// rectangle of the window. When the simulation leaves the view goes; when
// the window is closed the program ends cleanly and stores its window
// geometry. Its output must not report any OpenGL error. The demo simulation
// streams into each program without a single failure line.

#include <gtest/gtest.h>

#include <QImage>
#include <QProcess>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>

#include <thread>

#include "X11Windows.h"
#include "client/SimulationClient.h"
#include "tests/support/GlHarness.h"
#include "tests/support/Packets.h"
#include "tests/support/Pictures.h"
#include "tests/support/PrivateXServer.h"

using namespace programtest;
using namespace testsupport;
using namespace std::chrono_literals;

namespace {

const QColor kViewColour(30, 190, 70);

struct Program
{
    const char* name;
    const char* path;
};

// A virtual X server for one test, stopped with it.
class PrivateDisplay : public testsupport::PrivateXServer
{
public:
    PrivateDisplay() : PrivateXServer({"-screen", "0", "1280x1024x24"}) {}
};

// The bounding rectangle of the display's pixels near `colour`.
QRect areaOf(const std::string& display, const QColor& colour)
{
    const ScreenPicture screen = grabScreen(display);
    QRect area;
    for (int y = 0; y < screen.height; ++y)
        for (int x = 0; x < screen.width; ++x)
            if (near(QColor::fromRgb(screen.at(x, y)), colour, 3))
                area |= QRect(x, y, 1, 1);
    return area;
}

QImage toImage(const ScreenPicture& screen)
{
    QImage image(screen.width, screen.height, QImage::Format_RGB32);
    for (int y = 0; y < screen.height; ++y)
        for (int x = 0; x < screen.width; ++x)
            image.setPixel(x, y, screen.at(x, y));
    return image;
}

class ProgramRun : public testing::TestWithParam<Program>
{
};

// The program started as a user starts it, on its own display and port, with
// settings in a fresh home; the simulation side connected to it.
struct StartedProgram
{
    explicit StartedProgram(const char* path)
    {
        if (!home.isValid() || display.name().empty())
            return;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_CONFIG_HOME", home.filePath("config"));
        environment.insert("OSG_GL_ERROR_CHECKING", "ON");
        environment.insert("DISPLAY", QString::fromStdString(display.name()));
        environment.remove("XAUTHORITY");
        program.setProcessEnvironment(environment);
        program.setWorkingDirectory(home.path());
        program.setProcessChannelMode(QProcess::MergedChannels);
        program.start(path, {"-tcp", QString::number(port)});
        started = program.waitForStarted(10000);
    }

    // Connects the client, retrying while the program starts up.
    bool connect(orvane::SimulationClient& client)
    {
        for (int attempt = 0; attempt < 100; ++attempt) {
            try {
                client.connect("127.0.0.1", port);
                return true;
            } catch (const orvane::ClientError&) {
                std::this_thread::sleep_for(200ms);
            }
        }
        return false;
    }

    // Closes the main window; true when the program then ended cleanly.
    bool close()
    {
        return closeMainWindowOf(display.name(), program.processId()) &&
               program.waitForFinished(20000) && program.exitStatus() == QProcess::NormalExit &&
               program.exitCode() == 0;
    }

    QTemporaryDir home;
    const int port = freePort();
    PrivateDisplay display;
    QProcess program;
    bool started = false;
};

TEST_P(ProgramRun, ShowsTheSimulationsViewAndEndsWhenClosed)
{
    StartedProgram run(GetParam().path);
    ASSERT_TRUE(run.started) << GetParam().path << " (or its display) did not start";
    QTemporaryDir& home = run.home;
    PrivateDisplay& display = run.display;
    QProcess& program = run.program;

    orvane::SimulationClient client;
    ASSERT_TRUE(run.connect(client)) << "the program never listened on port " << run.port;

    // The right half of the viewer, full height.
    client.send(*viewPacket(1, {kViewColour.red(), kViewColour.green(), kViewColour.blue()},
                            {0.5f, 0.f}, {0.5f, 1.f}));
    QRect area;
    EXPECT_TRUE(waitFor(
        [&] {
            area = areaOf(display.name(), kViewColour);
            return area.width() > 100;
        },
        30s))
        << "the view's colour never appeared on the screen";
    keepPicture(toImage(grabScreen(display.name())), QString("program-") + GetParam().name);
    // The window stands at (100, 100), 1024 pixels wide without a frame;
    // the view fills the right half of the viewer, which spans the window.
    EXPECT_NEAR(area.left(), 100 + 512, 1);
    EXPECT_EQ(area.right(), 100 + 1023);
    EXPECT_GT(area.top(), 100 + 20); // below the menu bar and the toolbar
    EXPECT_GT(area.height(), 500);

    client.close();
    // The run was recorded; once the simulation has left, the replay of the
    // recording rebuilds the view at the recording's first time.
    EXPECT_TRUE(
        waitFor([&] { return QFileInfo(home.filePath("Temp/Orvane.dat")).size() > 0; }, 30s))
        << "nothing was recorded";
    EXPECT_TRUE(waitFor(
        [&] {
            const QRect replayed = areaOf(display.name(), kViewColour);
            return replayed.width() > 100 && replayed.left() == area.left();
        },
        30s))
        << "the replay did not show the recorded view";

    ASSERT_TRUE(run.close()) << "the program did not end cleanly when closed";

    const QString output = QString::fromLocal8Bit(program.readAll());
    EXPECT_TRUE(output.contains("Orvane initialized")) << output.toStdString();
    EXPECT_FALSE(output.contains("OpenGL error")) << output.toStdString();

    QSettings stored(home.filePath("config/Pellam/Orvane.ini"), QSettings::IniFormat);
    EXPECT_EQ(stored.value("WindowProperties/Geometry/X").toInt(), 100);
    EXPECT_EQ(stored.value("WindowProperties/Geometry/Width").toInt(), 1024);
    EXPECT_EQ(stored.value("WindowProperties/Fullscreen").toBool(), false);
}

TEST_P(ProgramRun, ShowsTheDemoWithoutAnyError)
{
    // The demo simulation a new user starts with: every object kind it sends
    // must be built without a failure line, and its view, its labels and its
    // effects must reach the screen.
    StartedProgram run(GetParam().path);
    ASSERT_TRUE(run.started) << GetParam().path << " (or its display) did not start";
    QProcess demo;
    demo.setProcessChannelMode(QProcess::MergedChannels);
    demo.start(ORVANE_DEMO, {"127.0.0.1", QString::number(run.port), "6"});
    ASSERT_TRUE(demo.waitForStarted(10000));

    const QColor background(25, 35, 90); // the demo view's
    const QColor title(250, 210, 60);    // the text lying on the floor
    int titlePixels = 0;
    EXPECT_TRUE(waitFor(
        [&] {
            const ScreenPicture screen = grabScreen(run.display.name());
            int backgroundPixels = 0;
            titlePixels = 0;
            for (int y = 0; y < screen.height; ++y)
                for (int x = 0; x < screen.width; ++x) {
                    const QColor pixel = QColor::fromRgb(screen.at(x, y));
                    backgroundPixels += near(pixel, background, 6) ? 1 : 0;
                    titlePixels += near(pixel, title, 40) ? 1 : 0;
                }
            return backgroundPixels > 50000 && titlePixels > 300;
        },
        30s))
        << "the demo's view and title never appeared (" << titlePixels << " title pixels); "
        << "program " << (run.program.state() == QProcess::Running ? "running" : "ended")
        << ", exit code " << run.program.exitCode() << ", output:\n"
        << QString::fromLocal8Bit(run.program.readAll()).toStdString() << run.display.diagnosis();
    keepPicture(toImage(grabScreen(run.display.name())), QString("demo-") + GetParam().name);

    // The demo may have ended already while the picture was awaited (waitForFinished
    // says false for a process that is over).
    EXPECT_TRUE(demo.state() == QProcess::NotRunning || demo.waitForFinished(30000))
        << "the demo did not end after its 6 seconds";
    EXPECT_EQ(demo.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(demo.exitCode(), 0);
    const QString demoOutput = QString::fromLocal8Bit(demo.readAll());
    EXPECT_TRUE(demoOutput.contains("streaming to")) << demoOutput.toStdString();
    ASSERT_TRUE(run.close()) << "the program did not end cleanly when closed";

    const std::string output = QString::fromLocal8Bit(run.program.readAll()).toStdString();
    for (const char* failure :
         {"An error occured", "ignored:", "OpenGL error", "unable to load font file",
          "Cannot load font", "PrecipitationDrawable"})
        EXPECT_EQ(output.find(failure), std::string::npos) << failure << " in:\n" << output;
}

INSTANTIATE_TEST_SUITE_P(App, ProgramRun,
                         testing::Values(Program{"orvane", ORVANE_PROGRAM},
                                         Program{"orvane_gl", ORVANE_GL_PROGRAM}),
                         [](const testing::TestParamInfo<Program>& row) {
                             return std::string(row.param.name);
                         });

} // namespace
