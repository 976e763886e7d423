// The export commands of both programs as a batch job runs them: no X
// display (DISPLAY removed from their environment), no virtual X server.
// The files they write are read back with ffprobe and ffmpeg.
#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/support/ColourReplay.h"

namespace {

struct ProgramRun
{
    int exitCode = -1;
    QString out;
    QString err;
};

// `program` with `arguments`, DISPLAY removed and `extra` ("NAME=VALUE") set.
QProcess* startProgram(const char* program, const QStringList& arguments,
                       const QStringList& extra = {})
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("DISPLAY");
    environment.remove("ORVANE_GL");
    for (const QString& setting : extra)
        environment.insert(setting.section('=', 0, 0), setting.section('=', 1));
    auto* process = new QProcess;
    process->setProcessEnvironment(environment);
    process->start(program, arguments);
    return process;
}

ProgramRun finish(QProcess* process, int seconds = 120)
{
    ProgramRun run;
    if (!process->waitForFinished(seconds * 1000)) {
        process->kill();
        process->waitForFinished();
        run.err = "did not finish in " + QString::number(seconds) + " s";
    } else {
        run.exitCode = process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1;
    }
    run.out = QString::fromUtf8(process->readAllStandardOutput());
    run.err += QString::fromUtf8(process->readAllStandardError());
    delete process;
    return run;
}

ProgramRun runProgram(const QStringList& arguments, const QStringList& extra = {},
                      const char* program = ORVANE_PROGRAM)
{
    return finish(startProgram(program, arguments, extra));
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

class HeadlessExport : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(_folder.isValid());
        ASSERT_EQ(testsupport::writeColourReplay(_replay.toStdString()), "");
    }
    QString path(const char* name) const { return _folder.filePath(name); }

    QTemporaryDir _folder;
    const QString _replay = _folder.filePath("colours.dat");
};

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

} // namespace
