// The two programs as a user starts them: each is started on a free port
// with its own settings, a simulation connects through the client library
// and creates a view, and the screen must show the view's colour in the
// view's rectangle of the window. When the simulation leaves the view goes;
// when the window is closed the program ends cleanly and stores its window
// geometry. Its output must not report any OpenGL error.

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>

#include <thread>

#include "GlTestSupport.h"
#include "X11Windows.h"
#include "client/SimulationClient.h"

using namespace apptest;
using namespace std::chrono_literals;

namespace {

const QColor kViewColour(30, 190, 70);

struct Program
{
    const char* name;
    const char* path;
};

// The bounding rectangle of the screen's pixels near `colour`.
QRect areaOf(const QColor& colour)
{
    const QImage screen = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
    QRect area;
    for (int y = 0; y < screen.height(); ++y)
        for (int x = 0; x < screen.width(); ++x)
            if (near(screen.pixelColor(x, y), colour, 3))
                area |= QRect(x, y, 1, 1);
    return area;
}

class ProgramRun : public testing::TestWithParam<Program>
{
};

TEST_P(ProgramRun, ShowsTheSimulationsViewAndEndsWhenClosed)
{
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const int port = freePort();

    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_CONFIG_HOME", home.filePath("config"));
    environment.insert("OSG_GL_ERROR_CHECKING", "ON");
    program.setProcessEnvironment(environment);
    program.setWorkingDirectory(home.path());
    program.setProcessChannelMode(QProcess::MergedChannels);
    program.start(GetParam().path, {"-tcp", QString::number(port)});
    ASSERT_TRUE(program.waitForStarted(10000)) << GetParam().path;

    orvane::SimulationClient client;
    bool connected = false;
    for (int attempt = 0; attempt < 100 && !connected; ++attempt) {
        try {
            client.connect("127.0.0.1", port);
            connected = true;
        } catch (const orvane::ClientError&) {
            std::this_thread::sleep_for(200ms);
        }
    }
    ASSERT_TRUE(connected) << "the program never listened on port " << port;

    // The right half of the viewer, full height.
    client.send(*viewPacket(1, 0.5f, 0.f, 0.5f, 1.f, kViewColour));
    QRect area;
    EXPECT_TRUE(waitFor(
        [&] {
            area = areaOf(kViewColour);
            return area.width() > 100;
        },
        30s))
        << "the view's colour never appeared on the screen";
    keepPicture(QGuiApplication::primaryScreen()->grabWindow(0).toImage(),
                QString("program-") + GetParam().name);
    // The window stands at (100, 100), 1024 pixels wide without a frame;
    // the view fills the right half of the viewer, which spans the window.
    EXPECT_NEAR(area.left(), 100 + 512, 1);
    EXPECT_EQ(area.right(), 100 + 1023);
    EXPECT_GT(area.top(), 100 + 20); // below the menu bar and the toolbar
    EXPECT_GT(area.height(), 500);

    client.close();
    EXPECT_TRUE(waitFor([&] { return areaOf(kViewColour).isEmpty(); }, 30s))
        << "the view stayed after the simulation left";

    ASSERT_TRUE(closeMainWindowOf(program.processId()));
    ASSERT_TRUE(program.waitForFinished(20000)) << "the program did not end when closed";
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);

    const QString output = QString::fromLocal8Bit(program.readAll());
    EXPECT_TRUE(output.contains("Orvane initialized")) << output.toStdString();
    EXPECT_FALSE(output.contains("OpenGL error")) << output.toStdString();

    QSettings stored(home.filePath("config/Pellam/Orvane.ini"), QSettings::IniFormat);
    EXPECT_EQ(stored.value("WindowProperties/Geometry/X").toInt(), 100);
    EXPECT_EQ(stored.value("WindowProperties/Geometry/Width").toInt(), 1024);
    EXPECT_EQ(stored.value("WindowProperties/Fullscreen").toBool(), false);
}

INSTANTIATE_TEST_SUITE_P(App, ProgramRun,
                         testing::Values(Program{"orvane", ORVANE_PROGRAM},
                                         Program{"orvane_gl", ORVANE_GL_PROGRAM}),
                         [](const testing::TestParamInfo<Program>& row) {
                             return std::string(row.param.name);
                         });

} // namespace
