// The video export as a user meets it: from the File menu of the real main
// window, and from the command line of the real program, which must write
// the same file for the same settings.
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "MainWindowHarness.h"
#include "app/VisMainWindow.h"
#include "scene/ObjectManager.h"
#include "tests/support/ExportRuns.h"

using namespace apptest;

namespace {

// ffprobe's count of the frames in a file; -1 when it cannot tell.
int framesIn(const QString& file)
{
    QProcess probe;
    probe.start("ffprobe", {"-v", "error", "-count_frames", "-select_streams", "v:0",
                            "-show_entries", "stream=nb_read_frames", "-of", "csv=p=0", file});
    if (!probe.waitForFinished(30000) || probe.exitCode() != 0)
        return -1;
    bool ok = false;
    const int frames = QString::fromUtf8(probe.readAllStandardOutput()).trimmed().toInt(&ok);
    return ok ? frames : -1;
}

using testsupport::ProgramRun;

ProgramRun
runProgram(const QStringList& arguments,
           const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
{
    return testsupport::finish(testsupport::startProgram(ORVANE_PROGRAM, arguments, environment));
}

using VideoExport = testsupport::ColourReplayFolder;

TEST_F(VideoExport, TheMenuAndTheCommandLineWriteTheSameFile)
{
    const QString fromDialog = path("dialog.mp4");
    runInMainWindow(freePort(), Embedding::NativeWindow, [&](VisMainWindow& window) {
        window.objectManager().startReplay(_replay);
        ASSERT_TRUE(waitFor([&] { return window.statusLabel()->text() == "Status: Replay"; }));
        QAction* menu = window.action(MenuCommand::ExportVideo);
        ASSERT_TRUE(menu->isEnabled());

        const QSize size = window.size();
        bool answered = false;
        answerNextDialog(
            "VideoGrabbingDlg",
            [&](QWidget* dialog) {
                dialog->findChild<QLineEdit*>("_filename")->setText(fromDialog);
                dialog->findChild<QComboBox*>("_codecBox")->setCurrentText("MPEG4 (ISO Standard)");
                dialog->findChild<QSpinBox*>("_bitrate")->setValue(800);
                dialog->findChild<QSpinBox*>("_framerate")->setValue(25);
                dialog->findChild<QSpinBox*>("_width")->setValue(160);
                dialog->findChild<QSpinBox*>("_height")->setValue(120);
                dialog->findChild<QDoubleSpinBox*>("_gain")->setValue(2.0);
                dialog->findChild<QDoubleSpinBox*>("_endTime")->setValue(0.5);
                dialog->findChild<QPushButton*>("_convertVideo")->click();
            },
            &answered);
        menu->trigger();
        EXPECT_TRUE(answered);
        EXPECT_EQ(window.size(), size) << "the window's own size is back after the export";
        // The window plays the replay again afterwards.
        EXPECT_EQ(window.objectManager().state(), ObjectManager::Replay);
        EXPECT_EQ(window.viewerManager().offscreenContext(), nullptr);
    });
    // 0.5 s of replay at 0.08 s a frame.
    EXPECT_EQ(framesIn(fromDialog), 6);

    const QString fromCommand = path("command.mp4");
    const ProgramRun run =
        runProgram({"--export-video", _replay, fromCommand, "--codec", "mpeg4", "--bitrate", "800",
                    "--fps", "25", "--size", "160x120", "--speed", "2", "--to", "0.5"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains("converting: 100% (6 of 6 frames)")) << run.out.toStdString();
    QFile a(fromDialog), b(fromCommand);
    ASSERT_TRUE(a.open(QIODevice::ReadOnly));
    ASSERT_TRUE(b.open(QIODevice::ReadOnly));
    const QByteArray dialogBytes = a.readAll();
    EXPECT_GT(dialogBytes.size(), 0);
    EXPECT_TRUE(dialogBytes == b.readAll()) << "the two files differ";
}

TEST_F(VideoExport, TheCommandLineSaysWhatWentWrong)
{
    // X11 asked for where there is no display: no silent fall back to EGL.
    QProcessEnvironment noDisplay = QProcessEnvironment::systemEnvironment();
    noDisplay.remove("DISPLAY");
    noDisplay.insert("ORVANE_GL", "x11");
    struct Case
    {
        const char* name;
        QStringList arguments;
        QProcessEnvironment environment;
        int status;
        const char* reason;
    };
    const QProcessEnvironment system = QProcessEnvironment::systemEnvironment();
    const Case cases[] = {
        {"x11 without a display", {_replay, path("a.mp4")}, noDisplay, 1, "DISPLAY is not set"},
        {"unwritable folder",
         {_replay, "/nonexistent-orvane-folder/a.mp4"},
         system,
         1,
         "could not write to file: '/nonexistent-orvane-folder/a.mp4'"},
        {"missing replay", {path("none.dat"), path("a.mp4")}, system, 1, "cannot be read"},
        {"codec the file type cannot hold",
         {_replay, path("a.flv"), "--codec", "mpeg4"},
         system,
         2,
         "\"Flash Vid (flv)\" file format requires \"FLV\" video codec!"},
        {"unknown preset",
         {_replay, path("a.mp4"), "--preset", "Nothing"},
         system,
         2,
         "there is no preset named \"Nothing\""},
    };
    for (const Case& bad : cases) {
        SCOPED_TRACE(bad.name);
        const ProgramRun run =
            runProgram(QStringList{"--export-video"} + bad.arguments, bad.environment);
        EXPECT_EQ(run.exitCode, bad.status);
        EXPECT_TRUE(run.err.contains(bad.reason)) << run.err.toStdString();
        EXPECT_FALSE(QFile::exists(path("a.mp4")));
        EXPECT_FALSE(QFile::exists(path("a.flv")));
    }

    // A default preset works even before the dialog has stored them.
    const ProgramRun preset = runProgram({"--export-video", _replay, path("low.mp4"), "--preset",
                                          "MPeg4 - Low Quality", "--to", "0.25"});
    ASSERT_EQ(preset.exitCode, 0) << preset.err.toStdString();
    EXPECT_EQ(framesIn(path("low.mp4")), 6); // 24 frames a second for 0.25 s
}

} // namespace
