// The export commands of both programs as a batch job runs them: no X
// display (DISPLAY removed from their environment), no virtual X server.
// The files they write are read back with ffprobe and ffmpeg.
#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>

#include "protocol/Items.h"
#include "replay/Recorder.h"
#include "tests/support/ColourReplay.h"
#include "tests/support/ExportRuns.h"
#include "tests/support/Packets.h"

namespace {

using testsupport::ProgramRun;

// `program` with `arguments`, DISPLAY removed and `extra` ("NAME=VALUE") set.
QProcess* startProgram(const char* program, const QStringList& arguments,
                       const QStringList& extra = {})
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("DISPLAY");
    environment.remove("ORVANE_GL");
    for (const QString& setting : extra)
        environment.insert(setting.section('=', 0, 0), setting.section('=', 1));
    return testsupport::startProgram(program, arguments, environment);
}

ProgramRun runProgram(const QStringList& arguments, const QStringList& extra = {},
                      const char* program = ORVANE_PROGRAM)
{
    return testsupport::finish(startProgram(program, arguments, extra));
}

// What ffprobe says of the first video stream: "codec,width,height,frames".
QString probe(const QString& file)
{
    QProcess ffprobe;
    ffprobe.start("ffprobe",
                  {"-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
                   "stream=codec_name,width,height,nb_read_frames", "-of", "csv=p=0", file});
    if (!ffprobe.waitForFinished(30000) || ffprobe.exitCode() != 0)
        return "unreadable";
    return QString::fromUtf8(ffprobe.readAllStandardOutput()).trimmed();
}

// Every frame of a video (or the one picture of an image file) as RGB bytes.
QByteArray decodeRgb(const QString& file)
{
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", {"-v", "error", "-i", file, "-f", "rawvideo", "-pix_fmt", "rgb24", "-"});
    if (!ffmpeg.waitForFinished(60000) || ffmpeg.exitCode() != 0)
        return {};
    return ffmpeg.readAllStandardOutput();
}

// The red of the pixel in the middle of frame `frame` of a width x height video.
int redInMiddle(const QByteArray& rgb, int width, int height, int frame)
{
    const qsizetype at = (qsizetype(frame) * width * height + (height / 2) * width + width / 2) * 3;
    return at + 2 < rgb.size() ? int(static_cast<unsigned char>(rgb[at])) : -1;
}

// A run of 1 s, a record every 0.1 s (the k-th at 0.1 k - 0.01, the first at
// 0): a green box (object 5) moving along x from -2 to 2 at z = 2, a red
// box (object 6) standing at the origin at z = -2, and a view (object 1)
// whose eye pans along x from -1 to 1, 12 units before them, looking along y.
std::string writeMovingReplay(const std::string& path)
{
    using namespace testsupport;
    ReplayRecorder recorder;
    if (std::string error = recorder.open(path); !error.empty())
        return error;
    for (int k = 0; k <= 10; ++k) {
        const float time = k == 0 ? 0.0f : 0.1f * float(k) - 0.01f;
        auto view = viewPacket(1, {30, 30, 30}, {0.f, 0.f}, {1.f, 1.f});
        const float eye = -1.0f + 0.2f * float(k);
        view->setIntVector(item::view::CameraControl, {1});
        view->setFloatVector(item::view::Eye, {eye, -12.f, 0.f});
        view->setFloatVector(item::view::Centre, {eye, 0.f, 0.f});
        view->setFloatVector(item::view::Up, {0.f, 0.f, 1.f});
        auto green = makePacket(
            {.floats = {{item::shape::Position, {-2.f + 0.4f * float(k), 0.f, 2.f}}},
             .ints = {{item::shape::ShapeKind, {1}}, {item::shape::Colour, {0, 255, 0}}}},
            {5, TYPE_VisBaseObject, 0});
        auto red = makePacket(
            {.floats = {{item::shape::Position, {0.f, 0.f, -2.f}}},
             .ints = {{item::shape::ShapeKind, {1}}, {item::shape::Colour, {255, 0, 0}}}},
            {6, TYPE_VisBaseObject, 0});
        for (GNP2::Packet* packet : {view.get(), green.get(), red.get()}) {
            packet->setFloatVector(item::every::Time, {time});
            recorder.record(*packet);
        }
    }
    recorder.close();
    return {};
}

// The mean column of the pixels of a colour (red or green clearly above
// the other two) in frame `frame`; -1 when there are none.
double columnOf(const QByteArray& rgb, int width, int height, int frame, int channel)
{
    double sum = 0;
    int count = 0;
    const auto* pixels = reinterpret_cast<const unsigned char*>(rgb.constData()) +
                         qsizetype(frame) * width * height * 3;
    for (int i = 0; i < width * height && (frame + 1) * width * height * 3 <= rgb.size(); ++i) {
        const unsigned char* p = pixels + i * 3;
        const int value = p[channel];
        if (value > 80 && value > p[(channel + 1) % 3] + 40 && value > p[(channel + 2) % 3] + 40) {
            sum += i % width;
            ++count;
        }
    }
    return count ? sum / count : -1.0;
}

using HeadlessExport = testsupport::ColourReplayFolder;

TEST_F(HeadlessExport, BothProgramsWriteTheReplaysColoursWithoutADisplay)
{
    for (const char* program : {ORVANE_PROGRAM, ORVANE_GL_PROGRAM}) {
        SCOPED_TRACE(program);
        const QString video = path("colours.avi");
        QFile::remove(video);
        // 0.5 s at 25 frames/s, replay twice as fast: frame k shows 0.08 k s.
        const ProgramRun run =
            runProgram({"--export-video", _replay, video, "--codec", "huffyuv", "--fps", "25",
                        "--size", "160x120", "--speed", "2", "--to", "1"},
                       {}, program);
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        EXPECT_TRUE(run.out.contains("Drawing without a display")) << run.out.toStdString();
        EXPECT_EQ(probe(video), "huffyuv,160,120,12");
        const QByteArray frames = decodeRgb(video);
        ASSERT_EQ(frames.size(), 12 * 160 * 120 * 3);
        for (int k : {0, 5, 11})
            EXPECT_NEAR(redInMiddle(frames, 160, 120, k), testsupport::colourReplayRedAt(0.08 * k),
                        3)
                << "frame " << k;
    }
}

// The X display of the test's own environment, to hand to a program that is
// to draw with X11; empty without one.
QStringList withDisplay()
{
    const char* display = std::getenv("DISPLAY");
    return display && *display ? QStringList{QString("DISPLAY=") + display} : QStringList{};
}

// Whether two decodings hold the same pixels, each byte at most `levels` apart.
::testing::AssertionResult samePixels(const QByteArray& a, const QByteArray& b, int levels)
{
    if (a.isEmpty() || a.size() != b.size())
        return ::testing::AssertionFailure() << "sizes " << a.size() << " and " << b.size();
    for (qsizetype i = 0; i < a.size(); ++i) {
        const int apart =
            std::abs(int(static_cast<unsigned char>(a[i])) - int(static_cast<unsigned char>(b[i])));
        if (apart > levels)
            return ::testing::AssertionFailure() << "byte " << i << " is " << apart << " apart";
    }
    return ::testing::AssertionSuccess();
}

TEST_F(HeadlessExport, AVideoDrawnWithEglEqualsOneDrawnOnTheXDisplay)
{
    if (withDisplay().isEmpty())
        GTEST_SKIP() << "no X display to compare with";
    const QStringList arguments = {"--codec", "huffyuv", "--size", "96x64", "--to", "0.5"};
    const ProgramRun egl =
        runProgram(QStringList{"--export-video", _replay, path("egl.avi")} + arguments);
    const ProgramRun x11 =
        runProgram(QStringList{"--export-video", _replay, path("x11.avi")} + arguments,
                   withDisplay() + QStringList{"ORVANE_GL=x11"});
    ASSERT_EQ(egl.exitCode, 0) << egl.err.toStdString();
    ASSERT_EQ(x11.exitCode, 0) << x11.err.toStdString();
    EXPECT_FALSE(x11.out.contains("Drawing without a display"));
    EXPECT_TRUE(samePixels(decodeRgb(path("egl.avi")), decodeRgb(path("x11.avi")), 2));
}

TEST_F(HeadlessExport, APictureShowsTheSceneAtItsTimeInTheFormatOfItsName)
{
    struct Case
    {
        const char* name;
        const char* codec;
    };
    for (const Case& picture : {Case{"at.png", "png"}, Case{"at.jpg", "mjpeg"}}) {
        SCOPED_TRACE(picture.name);
        const ProgramRun run = runProgram(
            {"--export-picture", _replay, path(picture.name), "--at", "0.5", "--size", "90x60"});
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        EXPECT_EQ(probe(path(picture.name)), QString(picture.codec) + ",90,60,1");
        EXPECT_NEAR(redInMiddle(decodeRgb(path(picture.name)), 90, 60, 0),
                    testsupport::colourReplayRedAt(0.5), 3);
    }
    if (withDisplay().isEmpty())
        return;
    const ProgramRun x11 =
        runProgram({"--export-picture", _replay, path("x11.png"), "--at", "0.5", "--size", "90x60"},
                   withDisplay() + QStringList{"ORVANE_GL=x11"});
    ASSERT_EQ(x11.exitCode, 0) << x11.err.toStdString();
    EXPECT_TRUE(samePixels(decodeRgb(path("at.png")), decodeRgb(path("x11.png")), 2));
}

TEST_F(HeadlessExport, AFollowedObjectStaysInPlaceWhileTheRestMoves)
{
    ASSERT_EQ(writeMovingReplay(path("moving.dat").toStdString()), "");
    const ProgramRun run = runProgram({"--export-video", path("moving.dat"), path("follow.avi"),
                                       "--codec", "huffyuv", "--size", "160x120", "--fps", "10",
                                       "--camera", "0,-12,0,0,0,0", "--follow", "5"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QByteArray frames = decodeRgb(path("follow.avi"));
    ASSERT_EQ(probe(path("follow.avi")), "huffyuv,160,120,9");
    const double green = columnOf(frames, 160, 120, 0, 1);
    const double red = columnOf(frames, 160, 120, 0, 0);
    ASSERT_GT(green, 0);
    ASSERT_GT(red, 0);
    for (int k = 1; k < 9; ++k) {
        EXPECT_NEAR(columnOf(frames, 160, 120, k, 1), green, 1.5) << "frame " << k;
        // The red box stands still: the camera moving with the green one
        // sees it go left.
        EXPECT_LT(columnOf(frames, 160, 120, k, 0), columnOf(frames, 160, 120, k - 1, 0) - 1)
            << "frame " << k;
    }
}

TEST_F(HeadlessExport, AViewFollowsItsRecordedMoves)
{
    ASSERT_EQ(writeMovingReplay(path("moving.dat").toStdString()), "");
    const ProgramRun run =
        runProgram({"--export-video", path("moving.dat"), path("view.avi"), "--codec", "huffyuv",
                    "--size", "160x120", "--fps", "10", "--view", "1"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QByteArray frames = decodeRgb(path("view.avi"));
    ASSERT_EQ(probe(path("view.avi")), "huffyuv,160,120,9");
    // The eye passes over the red box at 0.5 s: it is right of the middle
    // before, in the middle then, and as far left at the end as it was
    // right at the start.
    const double first = columnOf(frames, 160, 120, 0, 0);
    EXPECT_GT(first, 90);
    EXPECT_NEAR(columnOf(frames, 160, 120, 5, 0), 79.5, 2);
    EXPECT_NEAR(columnOf(frames, 160, 120, 8, 0) - 79.5, (79.5 - first) * 3 / 5, 2);
    // The view's grey background, not the default view's.
    EXPECT_NEAR(int(static_cast<unsigned char>(frames[0])), 30, 3);
}

// A batch job runs exports side by side: none may take another's file,
// folder or port.
TEST_F(HeadlessExport, FourExportsAtOnceAllSucceed)
{
    QProcess* runs[4];
    for (int i = 0; i < 4; ++i)
        runs[i] = startProgram(i % 2 ? ORVANE_GL_PROGRAM : ORVANE_PROGRAM,
                               {"--export-video", _replay, path("at-once-%1.avi").arg(i), "--codec",
                                "huffyuv", "--size", "64x48", "--to", "0.5"});
    for (int i = 0; i < 4; ++i) {
        const ProgramRun run = testsupport::finish(runs[i]);
        EXPECT_EQ(run.exitCode, 0) << i << ": " << run.err.toStdString();
        EXPECT_EQ(probe(path("at-once-%1.avi").arg(i)), "huffyuv,64,48,12") << i;
    }
}

// Files that are no replay and settings that cannot work: each command
// fails at once with its status and reason, and leaves no file behind.
TEST_F(HeadlessExport, BadInputFailsAtOnceAndLeavesNothingBehind)
{
    {
        QFile text(path("notes.dat"));
        ASSERT_TRUE(text.open(QIODevice::WriteOnly));
        text.write("a text file, not a replay\nsecond line\n");
    }
    ASSERT_TRUE(QFile::copy(_replay, path("cut.dat")));
    {
        QFile cut(path("cut.dat"));
        ASSERT_TRUE(cut.resize(cut.size() - 5)); // the last record cut short
    }
    // A picture file under a replay's name: the PNG the picture command writes.
    ASSERT_EQ(runProgram({"--export-picture", _replay, path("picture.png"), "--at", "0"}).exitCode,
              0);
    ASSERT_TRUE(QFile::rename(path("picture.png"), path("picture.dat")));

    struct Case
    {
        const char* name;
        QString replay;
        QString folder;
        QStringList extra; // video and picture options, or environment
        QStringList environment;
        int status;
        const char* reason;
    };
    const Case cases[] = {
        {"text file", path("notes.dat"), _folder.path(), {}, {}, 1, "is not a replay"},
        {"picture file", path("picture.dat"), _folder.path(), {}, {}, 1, "is not a replay"},
        {"missing replay", path("none.dat"), _folder.path(), {}, {}, 1, "cannot be read"},
        {"cut short", path("cut.dat"), _folder.path(), {}, {}, 1, "is damaged"},
        {"unwritable folder", _replay, "/proc/orvane-none", {}, {}, 1, "could not write to file"},
        {"EGL cannot start",
         _replay,
         _folder.path(),
         {},
         {"ORVANE_GL=egl", "__EGL_VENDOR_LIBRARY_FILENAMES=/nonexistent.json"},
         1,
         "ORVANE_GL=egl, but"},
        {"unknown context kind", _replay, _folder.path(), {}, {"ORVANE_GL=glx"}, 1, "x11 or egl"},
        {"bad size", _replay, _folder.path(), {"--size", "0x5"}, {}, 2, "--size takes"},
        {"camera of five numbers",
         _replay,
         _folder.path(),
         {"--camera", "1,2,3,4,5"},
         {},
         2,
         "--camera takes"},
        {"eye on the centre",
         _replay,
         _folder.path(),
         {"--camera", "1,1,1,1,1,1"},
         {},
         2,
         "same point"},
        {"view and camera",
         _replay,
         _folder.path(),
         {"--view", "1", "--camera", "0,-5,0,0,0,0"},
         {},
         2,
         "give one"},
        {"no such view", _replay, _folder.path(), {"--view", "9"}, {}, 2, "has no view 9"},
        {"following a view",
         _replay,
         _folder.path(),
         {"--follow", "1"},
         {},
         2,
         "no placed object 1"},
    };
    for (const Case& bad : cases) {
        for (const QStringList& command :
             {QStringList{"--export-video", bad.replay, bad.folder + "/out.mp4"},
              QStringList{"--export-picture", bad.replay, bad.folder + "/out.png", "--at", "0"}}) {
            SCOPED_TRACE(bad.name + (" / " + command[0].toStdString()));
            const QStringList before = QDir(bad.folder).entryList(QDir::Files | QDir::Hidden);
            QElapsedTimer clock;
            clock.start();
            const ProgramRun run = testsupport::finish(
                startProgram(ORVANE_PROGRAM, command + bad.extra, bad.environment), 30);
            EXPECT_EQ(run.exitCode, bad.status) << run.err.toStdString();
            EXPECT_TRUE(run.err.contains(bad.reason)) << run.err.toStdString();
            EXPECT_LT(clock.elapsed(), 20000);
            EXPECT_EQ(QDir(bad.folder).entryList(QDir::Files | QDir::Hidden), before);
        }
    }
    // A time outside the replay is the picture's own mistake.
    const ProgramRun late =
        runProgram({"--export-picture", _replay, path("late.png"), "--at", "1.5"});
    EXPECT_EQ(late.exitCode, 2);
    EXPECT_TRUE(late.err.contains("outside the replay")) << late.err.toStdString();
    EXPECT_FALSE(QFile::exists(path("late.png")));
}

} // namespace
