// The two programs as a user starts them: each is started on a free port
// with its own settings, on an X server of its own (no other test's window
// can cover it there), a simulation connects through the client library and
// creates a view, and the screen must show the view's colour in the view's
// rectangle of the window. When the simulation leaves the view goes; when
// the window is closed the program asks about the unsaved run, and once
// that question is out of the way it ends cleanly and stores its window
// geometry. Its output must not report any OpenGL error. The demo simulation
// streams into each program without a single failure line; the minimal
// simulation of the help page shows its box. The command line answers
// --help, --version and mistakes on the terminal without opening a window.

#include <gtest/gtest.h>

#include <QImage>
#include <QProcess>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>
#include <QDir>

#include <csignal>
#include <thread>

#include <sys/resource.h>

#include "X11Windows.h"
#include "client/SimulationClient.h"
#include "gnp2/Packet.h"
#include "replay/ReplayManager.h"
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
    // `askToSave`: whether quitting asks about an unsaved run (the setting).
    // `extra`: arguments after the port's. `folder`: where it starts and keeps
    // its settings, a fresh one when empty. `fileSizeLimit`: the largest file
    // it may write (bytes; 0: no limit), a disk that fills up.
    explicit StartedProgram(const char* path, bool askToSave = true, QStringList extra = {},
                            const QString& folder = {}, qint64 fileSizeLimit = 0)
        : dir(folder.isEmpty() ? home.path() : folder)
    {
        if (!home.isValid() || display.name().empty())
            return;
        if (!askToSave)
            setAskToSave(false);
        if (fileSizeLimit > 0)
            program.setChildProcessModifier([fileSizeLimit] {
                std::signal(SIGXFSZ, SIG_IGN);
                const rlimit limit{rlim_t(fileSizeLimit), rlim_t(fileSizeLimit)};
                ::setrlimit(RLIMIT_FSIZE, &limit);
            });
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_CONFIG_HOME", dir.filePath("config"));
        environment.insert("OSG_GL_ERROR_CHECKING", "ON");
        environment.insert("DISPLAY", QString::fromStdString(display.name()));
        environment.remove("XAUTHORITY");
        program.setProcessEnvironment(environment);
        program.setWorkingDirectory(dir.path());
        program.setProcessChannelMode(QProcess::MergedChannels);
        program.start(path, QStringList{"-tcp", QString::number(port)} + extra);
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

    // Writes the setting "Replay/askToSaveOnExit" (the program reads it when
    // it quits).
    void setAskToSave(bool ask)
    {
        QSettings stored(dir.filePath("config/Pellam/Orvane.ini"), QSettings::IniFormat);
        stored.setValue("Replay/askToSaveOnExit", ask);
    }

    // Closes the main window; true when the program then ended cleanly.
    bool close()
    {
        return closeMainWindowOf(display.name(), program.processId()) &&
               program.waitForFinished(20000) && program.exitStatus() == QProcess::NormalExit &&
               program.exitCode() == 0;
    }

    QTemporaryDir home;
    QDir dir;
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

    // Closing the window asks first: the recorded run was not saved.
    const std::string question = "Pellam Orvane - Unsaved run";
    ASSERT_TRUE(closeMainWindowOf(display.name(), program.processId()));
    EXPECT_TRUE(
        waitFor([&] { return hasWindowOf(display.name(), program.processId(), question); }, 10s))
        << "closing the window quit without asking about the unsaved run";
    std::this_thread::sleep_for(500ms); // for the picture: the question draws itself
    keepPicture(toImage(grabScreen(display.name())), QString("quit-question-") + GetParam().name);
    // Closing the question is Cancel: the program goes on.
    EXPECT_TRUE(closeWindowOf(display.name(), program.processId(), question));
    EXPECT_TRUE(
        waitFor([&] { return !hasWindowOf(display.name(), program.processId(), question); }, 10s));
    EXPECT_FALSE(program.waitForFinished(1000)) << "Cancel quit the program";
    // "Don't ask again" as the store keeps it: the next close ends the program.
    run.setAskToSave(false);
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
    StartedProgram run(GetParam().path, false);
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

    // It may have ended while the pictures were taken: waitForFinished is
    // false for a process that has already finished.
    EXPECT_TRUE(demo.state() == QProcess::NotRunning || demo.waitForFinished(30000))
        << "the demo did not end after its 6 seconds";
    const QString demoOutput = QString::fromLocal8Bit(demo.readAll());
    EXPECT_TRUE(demoOutput.contains("streaming to")) << demoOutput.toStdString();
    ASSERT_TRUE(run.close()) << "the program did not end cleanly when closed";

    const std::string output = QString::fromLocal8Bit(run.program.readAll()).toStdString();
    for (const char* failure :
         {"An error occured", "ignored:", "OpenGL error", "unable to load font file",
          "Cannot load font", "PrecipitationDrawable"})
        EXPECT_EQ(output.find(failure), std::string::npos) << failure << " in:\n" << output;
}

TEST_P(ProgramRun, ShowsTheMinimalSimulationOfTheHelpPage)
{
    // Arguments for Qt reach Qt; unknown ones are named once and ignored.
    StartedProgram run(GetParam().path, false, {"-style", "fusion", "--frobnicate", "-tcp"});
    ASSERT_TRUE(run.started) << GetParam().path << " (or its display) did not start";
    // The example connects at once: wait until the program listens.
    {
        orvane::SimulationClient probe;
        ASSERT_TRUE(run.connect(probe)) << "the program never listened on port " << run.port;
        probe.close();
    }
    ASSERT_TRUE(
        waitFor([&] { return QFileInfo(run.home.filePath("Temp/Orvane.dat")).exists(); }, 10s));
    QProcess example;
    example.setProcessChannelMode(QProcess::MergedChannels);
    example.start(ORVANE_MINIMAL_EXAMPLE, {QString::number(run.port)});
    ASSERT_TRUE(example.waitForStarted(10000));

    // Its box is red (lit, so its faces differ in brightness).
    auto redPixels = [&] {
        const ScreenPicture screen = grabScreen(run.display.name());
        int count = 0;
        for (int y = 0; y < screen.height; ++y)
            for (int x = 0; x < screen.width; ++x) {
                const QColor pixel = QColor::fromRgb(screen.at(x, y));
                count += pixel.red() > 100 && pixel.red() > 3 * pixel.green() &&
                                 pixel.red() > 3 * pixel.blue()
                             ? 1
                             : 0;
            }
        return count;
    };
    EXPECT_TRUE(waitFor([&] { return redPixels() > 2000; }, 30s)) << "the box never appeared";
    keepPicture(toImage(grabScreen(run.display.name())), QString("minimal-") + GetParam().name);
    EXPECT_TRUE(example.waitForFinished(30000)) << "the example did not end after its 5 seconds";
    EXPECT_EQ(example.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(example.exitCode(), 0) << QString::fromLocal8Bit(example.readAll()).toStdString();
    ASSERT_TRUE(run.close()) << "the program did not end cleanly when closed";
    const QString output = QString::fromLocal8Bit(run.program.readAll());
    EXPECT_TRUE(output.contains("warning: ignored '--frobnicate', '-tcp' without <port>"))
        << output.toStdString();
    EXPECT_FALSE(output.contains("fusion")) << output.toStdString();
}

// The view's colour fills its half of the display.
bool showsColour(const StartedProgram& run, const QColor& colour)
{
    return areaOf(run.display.name(), colour).width() > 100;
}

// Streams `count` updates of view 1 (the right half, `colour`) at
// increasing times; every update is a record.
void streamView(orvane::SimulationClient& client, const QColor& colour, int count)
{
    for (int i = 0; i < count; ++i) {
        auto packet =
            viewPacket(1, {colour.red(), colour.green(), colour.blue()}, {0.5f, 0.f}, {0.5f, 1.f});
        packet->setFloatVector(GNP2::ITEM_TIME, {0.01f * float(i)});
        client.send(*packet);
    }
}

// What a replay of the file holds: whole records, and view 1 at the end.
testing::AssertionResult replaysTheView(const QString& path)
{
    ReplayManager replay(path.toStdString());
    if (!replay.damage().empty() || replay.index().size() == 0)
        return testing::AssertionFailure() << path.toStdString() << ": " << replay.index().size()
                                           << " records, " << replay.damage();
    bool view = false;
    for (GNP2::Packet* packet : replay.getPacketsForMove(std::nullopt, replay.lastTime())) {
        view = view || GNP2::objectNumber(packet->header()) == 1;
        delete packet;
    }
    return view ? testing::AssertionSuccess()
                : testing::AssertionFailure() << path.toStdString() << " lacks the view";
}

TEST(Runs, TwoViewersInOneFolderEachRecordAndDeleteTheirOwn)
{
    QTemporaryDir folder;
    const QColor otherColour(200, 60, 60);
    StartedProgram first(ORVANE_PROGRAM, false, {}, folder.path());
    StartedProgram second(ORVANE_GL_PROGRAM, false, {}, folder.path());
    ASSERT_TRUE(first.started && second.started);
    orvane::SimulationClient firstClient, secondClient;
    ASSERT_TRUE(first.connect(firstClient));
    streamView(firstClient, kViewColour, 3000);
    const QString firstFile = folder.filePath("Temp/Orvane.dat");
    const QString secondFile = folder.filePath("Temp/Orvane-2.dat");
    ASSERT_TRUE(waitFor([&] { return QFileInfo::exists(firstFile); }, 10s));
    ASSERT_TRUE(second.connect(secondClient));
    streamView(secondClient, otherColour, 2000);
    EXPECT_TRUE(waitFor([&] { return showsColour(second, otherColour); }, 30s));
    streamView(firstClient, kViewColour, 3000); // the first goes on recording
    firstClient.close();
    secondClient.close();
    // Each recording is whole once its viewer has seen the end of its run
    // (a busy viewer sees it later than the client closes), and each viewer
    // replays its own run.
    const auto records = [](const QString& path) {
        return ReplayManager(path.toStdString()).index().size();
    };
    EXPECT_TRUE(waitFor([&] { return records(firstFile) == 6000u; }, 30s));
    EXPECT_TRUE(waitFor([&] { return records(secondFile) == 2000u; }, 30s));
    EXPECT_TRUE(replaysTheView(firstFile));
    EXPECT_TRUE(replaysTheView(secondFile));
    EXPECT_TRUE(waitFor([&] { return showsColour(first, kViewColour); }, 30s));
    EXPECT_TRUE(waitFor([&] { return showsColour(second, otherColour); }, 30s));

    // Quitting the second deletes its recording only.
    ASSERT_TRUE(second.close());
    EXPECT_TRUE(QString::fromLocal8Bit(second.program.readAll())
                    .contains("this one records to " + secondFile));
    EXPECT_FALSE(QFileInfo::exists(secondFile));
    EXPECT_TRUE(replaysTheView(firstFile));
    ASSERT_TRUE(first.close());
    EXPECT_FALSE(QFileInfo::exists(firstFile));
}

TEST(Runs, ATerminatedViewerKeepsItsRunAndTheNextStartSaysWhere)
{
    QTemporaryDir folder;
    QString kept;
    {
        StartedProgram run(ORVANE_PROGRAM, true, {}, folder.path());
        ASSERT_TRUE(run.started);
        orvane::SimulationClient client;
        ASSERT_TRUE(run.connect(client));
        streamView(client, kViewColour, 500);
        ASSERT_TRUE(waitFor([&] { return showsColour(run, kViewColour); }, 30s));
        run.program.terminate(); // SIGTERM, mid-run: the records are still in memory
        ASSERT_TRUE(run.program.waitForFinished(20000));
        EXPECT_EQ(run.program.exitStatus(), QProcess::NormalExit);
        const QStringList files = QDir(folder.filePath("Temp")).entryList(QDir::Files);
        ASSERT_EQ(files.size(), 1) << files.join(" ").toStdString();
        kept = folder.filePath("Temp/" + files[0]);
        EXPECT_TRUE(QString::fromLocal8Bit(run.program.readAll()).contains(kept));
    }
    EXPECT_TRUE(replaysTheView(kept));
    EXPECT_EQ(ReplayManager(kept.toStdString()).index().size(), 500u);
    StartedProgram next(ORVANE_PROGRAM, false, {}, folder.path());
    ASSERT_TRUE(next.started);
    EXPECT_TRUE(waitFor(
        [&] {
            next.program.waitForReadyRead(100);
            return next.program.peek(1 << 20).contains(kept.toLocal8Bit());
        },
        20s))
        << "the next start did not say where the run is";
    ASSERT_TRUE(waitFor(
        [&] { return hasWindowOf(next.display.name(), next.program.processId(), "Pellam Orvane"); },
        20s));
    ASSERT_TRUE(next.close());
    EXPECT_TRUE(QFileInfo::exists(kept)) << "a kept run stays until the user moves it";
}

TEST(Runs, AFullDiskStopsTheRecordingNotTheViewer)
{
    constexpr qint64 kLimit = 400 << 10; // the recording outgrows it at once
    StartedProgram run(ORVANE_PROGRAM, false, {}, {}, kLimit);
    ASSERT_TRUE(run.started);
    orvane::SimulationClient client;
    ASSERT_TRUE(run.connect(client));
    streamView(client, kViewColour, 20000);
    EXPECT_TRUE(waitFor([&] { return showsColour(run, kViewColour); }, 30s));
    streamView(client, kViewColour, 100);
    EXPECT_EQ(run.program.state(), QProcess::Running);
    client.close();
    // The replay plays what was kept.
    const QString file = run.dir.filePath("Temp/Orvane.dat");
    EXPECT_TRUE(waitFor([&] { return showsColour(run, kViewColour); }, 30s));
    EXPECT_TRUE(replaysTheView(file));
    EXPECT_LE(QFileInfo(file).size(), kLimit);
    ASSERT_TRUE(run.close());
    const QString output = QString::fromLocal8Bit(run.program.readAll());
    EXPECT_EQ(output.count("Recording stopped"), 1) << output.toStdString();
    EXPECT_TRUE(output.contains("File too large")) << output.toStdString();
}

INSTANTIATE_TEST_SUITE_P(App, ProgramRun,
                         testing::Values(Program{"orvane", ORVANE_PROGRAM},
                                         Program{"orvane_gl", ORVANE_GL_PROGRAM}),
                         [](const testing::TestParamInfo<Program>& row) {
                             return std::string(row.param.name);
                         });

} // namespace

namespace {

// The command line as a user meets it: the program started from a terminal
// without a display, its exit status and what it printed where.
struct CommandLineCase
{
    const char* name;
    QStringList arguments;
    int exitCode;
    const char* standardOutput; // must contain; empty: must be empty
    const char* standardError;  // likewise
};

class CommandLineRun : public testing::TestWithParam<CommandLineCase>
{
};

TEST_P(CommandLineRun, AnswersOnTheTerminalWithoutAWindow)
{
    const CommandLineCase& c = GetParam();
    for (const char* path : {ORVANE_PROGRAM, ORVANE_GL_PROGRAM}) {
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("DISPLAY"); // it must not need one
        program.setProcessEnvironment(environment);
        program.start(path, c.arguments);
        ASSERT_TRUE(program.waitForFinished(20000)) << path << " did not end";
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << path;
        EXPECT_EQ(program.exitCode(), c.exitCode) << path;
        const QString out = QString::fromLocal8Bit(program.readAllStandardOutput());
        const QString err = QString::fromLocal8Bit(program.readAllStandardError());
        if (*c.standardOutput)
            EXPECT_TRUE(out.contains(c.standardOutput)) << path << " printed:\n"
                                                        << out.toStdString();
        else
            EXPECT_TRUE(out.isEmpty()) << path << " printed:\n" << out.toStdString();
        if (*c.standardError)
            EXPECT_TRUE(err.contains(c.standardError)) << path << " said:\n" << err.toStdString();
        else
            EXPECT_TRUE(err.isEmpty()) << path << " said:\n" << err.toStdString();
        if (c.exitCode == 2) {
            EXPECT_TRUE(err.contains("Usage: " + QFileInfo(path).fileName() + " [options]"))
                << err.toStdString();
        }
    }
}

const CommandLineCase kCommandLineCases[] = {
    {"Help", {"--help"}, 0, "-tcp <port>", ""},
    {"ShortHelp", {"-h"}, 0, "Usage: ", ""},
    {"Version", {"--version"}, 0, " 0.", ""},
    {"PortThatIsAWord", {"-tcp", "abc"}, 2, "", "'abc' is not a port number"},
    {"PortAboveTheRange", {"-tcp", "99999"}, 2, "", "'99999' is not a port number"},
    {"MistakeAfterUnknownArguments", {"--frobnicate", "-tcp", "x"}, 2, "", "'x' is not a port"},
};

INSTANTIATE_TEST_SUITE_P(App, CommandLineRun, testing::ValuesIn(kCommandLineCases),
                         [](const testing::TestParamInfo<CommandLineCase>& row) {
                             return std::string(row.param.name);
                         });

} // namespace
