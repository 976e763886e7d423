// The export dialog on the X display: its checks and their warnings, the
// presets in the (test's own) settings store, and conversions started,
// stopped and failing from it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

#include <functional>
#include <memory>

#include "ExportFixture.h"
#include "PresetFields.h"
#include "VideoProbe.h"
#include "replay/Recorder.h"
#include "scene/ObjectManager.h"
#include "settings/Settings.h"
#include "tests/support/GlHarness.h"
#include "tests/support/Packets.h"
#include "video/VideoGrabbingDlg.h"
#include "video/VideoPresets.h"
#include "view/ViewerManager.h"

using namespace videotest;

namespace {

// A message box that appeared, and the button it was answered with.
struct Answered
{
    bool seen = false;
    QString title;
    QString text;
};

// Answers every message box that opens until the returned object is gone:
// records the first one's title and text and presses `button`.
std::unique_ptr<QTimer> answerBoxes(Answered& answered,
                                    QMessageBox::StandardButton button = QMessageBox::Ok)
{
    auto timer = std::make_unique<QTimer>();
    QObject::connect(timer.get(), &QTimer::timeout, [&answered, button] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        if (!answered.seen) {
            answered.seen = true;
            answered.title = box->windowTitle();
            answered.text = box->text();
        }
        if (QAbstractButton* pressed = box->button(button))
            pressed->click();
        else
            box->reject();
    });
    timer->start(20);
    return timer;
}

class DialogTest : public ExportTest
{
protected:
    void SetUp() override
    {
        {
            QSettings store = settings::openSettings();
            store.clear();
        }
        ExportTest::SetUp();
        makeDialog();
    }
    void makeDialog()
    {
        VideoExportHost host;
        host.window = _host->window();
        host.viewer = &_host->viewer();
        host.objects = &_host->objects();
        host.clock = &_host->clock();
        host.holdUpdates = [this](bool hold) { _holds.push_back(hold); };
        _dialog = std::make_unique<VideoGrabbingDlg>(host);
        _dialog->show();
    }
    void TearDown() override
    {
        _dialog.reset();
        ExportTest::TearDown();
    }

    template <typename T> T* child(const char* name) const
    {
        T* found = _dialog->findChild<T*>(name);
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    // Types the output file's name and chooses the codec, as a user does
    // before starting a conversion.
    void chooseOutput(const std::string& file, const char* codec) const
    {
        child<QLineEdit>("_filename")->setText(QString::fromStdString(file));
        child<QComboBox>("_codecBox")->setCurrentText(codec);
    }
    void chooseSize(int width, int height) const
    {
        child<QSpinBox>("_width")->setValue(width);
        child<QSpinBox>("_height")->setValue(height);
    }
    QListWidget* list() const { return child<QListWidget>("listWidget"); }
    QListWidgetItem* item(const QString& text) const
    {
        const QList<QListWidgetItem*> found = list()->findItems(text, Qt::MatchExactly);
        return found.isEmpty() ? nullptr : found.first();
    }
    void choose(const QString& text)
    {
        QListWidgetItem* found = item(text);
        ASSERT_NE(found, nullptr) << text.toStdString();
        list()->setCurrentItem(found);
        _dialog->selectPreset();
    }
    // Presses "Start conversion" and answers any box that opens.
    Answered start()
    {
        Answered answered;
        auto answering = answerBoxes(answered);
        child<QPushButton>("_convertVideo")->click();
        return answered;
    }

    std::unique_ptr<VideoGrabbingDlg> _dialog;
    std::vector<bool> _holds;
};

TEST_F(DialogTest, StartsWithTheViewTheReplayAndTheDefaultPresets)
{
    const QSize view = _host->viewer().viewerPixelSize();
    EXPECT_EQ(child<QSpinBox>("_bitrate")->value(),
              std::max(10, view.width() * view.height() / 30000 * 100));
    EXPECT_EQ(child<QSpinBox>("_framerate")->value(), 25);
    EXPECT_DOUBLE_EQ(child<QDoubleSpinBox>("_gain")->value(), 1.0);
    EXPECT_DOUBLE_EQ(child<QDoubleSpinBox>("_startTime")->value(), 0.0);
    EXPECT_NEAR(child<QDoubleSpinBox>("_endTime")->value(), 0.99, 1e-6);
    EXPECT_EQ(_dialog->windowTitle(), "Save Replay as video");
    ASSERT_EQ(list()->count(), 7);
    EXPECT_EQ(list()->item(6)->text(), VideoGrabbingDlg::NEW_PRESET);
    EXPECT_TRUE(list()->item(6)->flags() & Qt::ItemIsEditable);
    EXPECT_FALSE(list()->item(0)->flags() & Qt::ItemIsEditable);
    QSettings store = settings::openSettings();
    EXPECT_EQ(video::presetNames(store).size(), 6);

    choose("Flash Video - for online publishing");
    EXPECT_EQ(child<QComboBox>("_codecBox")->currentText(), "FlashVideo (Online publishing)");
    EXPECT_EQ(child<QSpinBox>("_bitrate")->value(), 200);
    EXPECT_EQ(child<QSpinBox>("_framerate")->value(), 24);
    EXPECT_EQ(child<QSpinBox>("_width")->value(), 400);
    EXPECT_EQ(child<QSpinBox>("_height")->value(), 300);
}

TEST_F(DialogTest, ChecksWarnAndStartNothing)
{
    Answered none = start();
    EXPECT_TRUE(none.seen);
    EXPECT_EQ(none.title, "Video Error");
    EXPECT_EQ(none.text, "No filename given!");

    chooseOutput(path("a.flv"), "MPEG4 (ISO Standard)");
    EXPECT_EQ(start().text, "\"Flash Vid (flv)\" file format requires \"FLV\" video codec!");

    child<QLineEdit>("_filename")->setText(QString::fromStdString(path("a.mp4")));
    child<QDoubleSpinBox>("_endTime")->setValue(2.0);
    EXPECT_EQ(start().text, "Stop time set to high!\nNo Data available for this time stamp");
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(path("a.mp4"))));
    EXPECT_TRUE(_holds.empty()) << "nothing was started";
    EXPECT_TRUE(_dialog->isVisible());
    // The codec chosen is remembered for the next time.
    QSettings store = settings::openSettings();
    EXPECT_EQ(settings::integerSetting(store, settings::SettingKey::LastCodec), 2);
}

TEST_F(DialogTest, PresetsAreSavedOverwrittenAndDeleted)
{
    // The unnamed item is refused.
    choose(VideoGrabbingDlg::NEW_PRESET);
    Answered refused;
    {
        auto answering = answerBoxes(refused);
        _dialog->savePreset();
    }
    EXPECT_EQ(refused.title, "Video Error");
    EXPECT_EQ(refused.text, "Please choose a new preset name.");

    // Named, it is saved after the confirmation, and a new unnamed item follows.
    list()->item(list()->count() - 1)->setText("Mine");
    child<QComboBox>("_codecBox")->setCurrentText("WMV2 (compatible to PowerPoint)");
    child<QSpinBox>("_bitrate")->setValue(321);
    child<QSpinBox>("_framerate")->setValue(30);
    chooseSize(320, 200);
    Answered confirmed;
    {
        auto answering = answerBoxes(confirmed, QMessageBox::Yes);
        _dialog->savePreset();
    }
    EXPECT_EQ(confirmed.title, "Confirmation");
    EXPECT_EQ(confirmed.text, "Overwrite Preset Mine?");
    QSettings store = settings::openSettings();
    std::optional<video::VideoPreset> mine = video::loadPreset(store, "Mine");
    ASSERT_TRUE(mine);
    EXPECT_EQ(
        videotest::presetFields(*mine),
        (std::vector<std::string>{"WMV2 (compatible to PowerPoint)", "321", "30", "320", "200"}));
    EXPECT_EQ(list()->count(), 8);
    EXPECT_EQ(list()->item(7)->text(), VideoGrabbingDlg::NEW_PRESET);

    // Overwriting asks; No keeps the stored values, Yes replaces them.
    choose("Mine");
    child<QSpinBox>("_bitrate")->setValue(999);
    {
        Answered declined;
        auto answering = answerBoxes(declined, QMessageBox::No);
        _dialog->savePreset();
        EXPECT_TRUE(declined.seen);
    }
    EXPECT_EQ(video::loadPreset(store, "Mine")->bitrate, "321");
    {
        Answered accepted;
        auto answering = answerBoxes(accepted, QMessageBox::Yes);
        _dialog->savePreset();
    }
    EXPECT_EQ(video::loadPreset(store, "Mine")->bitrate, "999");

    // Deleting asks too.
    choose("Mine");
    Answered deleting;
    {
        auto answering = answerBoxes(deleting, QMessageBox::Yes);
        _dialog->deletePreset();
    }
    EXPECT_EQ(deleting.text, "Delete Preset Mine?");
    EXPECT_FALSE(video::loadPreset(store, "Mine"));
    EXPECT_EQ(item("Mine"), nullptr);
    EXPECT_EQ(list()->count(), 7);

    // The unnamed item cannot be deleted.
    choose(VideoGrabbingDlg::NEW_PRESET);
    Answered nothing;
    {
        auto answering = answerBoxes(nothing);
        _dialog->deletePreset();
        testsupport::spin(std::chrono::milliseconds(100));
    }
    EXPECT_FALSE(nothing.seen);
    EXPECT_EQ(list()->count(), 7);
}

TEST_F(DialogTest, AConversionWritesTheFileAndClosesTheDialog)
{
    const std::string file = path("dialog.avi");
    chooseOutput(file, "Huff YUV (lossless compression)");
    chooseSize(161, 120);
    child<QSpinBox>("_framerate")->setValue(25);
    child<QDoubleSpinBox>("_gain")->setValue(2.0);
    child<QDoubleSpinBox>("_endTime")->setValue(0.5);

    // While it runs: inputs off, the button stops, the progress shows.
    bool sawRunning = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!_dialog->converting())
            return;
        sawRunning = true;
        EXPECT_FALSE(child<QLineEdit>("_filename")->isEnabled());
        EXPECT_FALSE(child<QPushButton>("_close")->isEnabled());
        EXPECT_EQ(list()->item(0)->flags(), Qt::NoItemFlags);
        EXPECT_EQ(child<QPushButton>("_convertVideo")->text(), "Stop conversion");
        EXPECT_EQ(child<QProgressBar>("_progress")->format(), "converting: %p%");
        EXPECT_TRUE(child<QProgressBar>("_progress")->isVisible());
    });
    watch.start(0);
    const Answered answered = start();
    watch.stop();

    EXPECT_FALSE(answered.seen) << answered.text.toStdString();
    EXPECT_TRUE(sawRunning);
    EXPECT_FALSE(_dialog->isVisible());
    EXPECT_EQ(_holds, (std::vector<bool>{true, false}));
    EXPECT_EQ(child<QPushButton>("_convertVideo")->text(), "Start conversion");
    EXPECT_TRUE(child<QLineEdit>("_filename")->isEnabled());
    const ProbedVideo video = probeVideo(file);
    EXPECT_EQ(video.width, 162);
    // 0.5 s of replay at 0.08 s a frame.
    ASSERT_EQ(video.pictures.size(), 6u) << video.error;
    const auto& last = video.pictures.back();
    EXPECT_NEAR(last.at(last.v, 80, 60), chromaOfRed(redAt(0.4)), 2);
}

TEST_F(DialogTest, StopConversionEndsWithAPlayableFile)
{
    const std::string file = path("stopped.mp4");
    chooseOutput(file, "MPEG4 (ISO Standard)");
    chooseSize(160, 120);
    child<QDoubleSpinBox>("_gain")->setValue(0.01);

    // Pressed once the progress has moved a little.
    QTimer stopper;
    QObject::connect(&stopper, &QTimer::timeout, [&] {
        if (_dialog->converting() && child<QProgressBar>("_progress")->value() >= 1) {
            stopper.stop();
            child<QPushButton>("_convertVideo")->click();
        }
    });
    stopper.start(0);
    start();
    EXPECT_FALSE(_dialog->converting());
    EXPECT_FALSE(_dialog->isVisible());
    const ProbedVideo video = probeVideo(file);
    ASSERT_TRUE(video.opened) << video.error;
    // 0.01 s of replay needs 25 frames; the whole second would take 2500.
    EXPECT_GE(video.pictures.size(), 25u);
    EXPECT_LT(video.pictures.size(), 500u);
    EXPECT_EQ(video.pts.size(), video.pictures.size());
    EXPECT_EQ(_host->objects().state(), ObjectManager::Replay);
}

TEST_F(DialogTest, AnUnwritableFileIsAVideoErrorAndTheProgramGoesOn)
{
    const QString unwritable = "/nonexistent-orvane-folder/film.mp4";
    chooseOutput(unwritable.toStdString(), "MPEG4 (ISO Standard)");
    const Answered answered = start();
    EXPECT_EQ(answered.title, "Video Error");
    EXPECT_EQ(answered.text, "could not write to file: '" + unwritable + "'");
    // The conversion ended cleanly; the dialog stays for another try.
    EXPECT_TRUE(_dialog->isVisible());
    EXPECT_FALSE(_dialog->converting());
    EXPECT_TRUE(child<QLineEdit>("_filename")->isEnabled());
    EXPECT_TRUE(child<QPushButton>("_close")->isEnabled());
    EXPECT_TRUE(list()->item(0)->flags() & Qt::ItemIsEnabled);
    EXPECT_EQ(child<QPushButton>("_convertVideo")->text(), "Start conversion");
    EXPECT_EQ(_host->viewer().offscreenContext(), nullptr);
    EXPECT_EQ(_host->objects().state(), ObjectManager::Replay);
    EXPECT_EQ(_holds, (std::vector<bool>{true, false}));

    // The capital extension passes the checks; whatever the container makes
    // of the codec, the program carries on.
    chooseOutput(path("film.MOV"), "Huff YUV (lossless compression)");
    child<QDoubleSpinBox>("_endTime")->setValue(0.2);
    const Answered second = start();
    if (second.seen) {
        EXPECT_EQ(second.title, "Video Error");
    }
    EXPECT_EQ(_host->objects().state(), ObjectManager::Replay);
    EXPECT_FALSE(_dialog->converting());
}

TEST_F(DialogTest, TheReplaysOwnRangePassesWhateverItsDigits)
{
    // Times with more digits than the time boxes show.
    const std::string odd = path("odd-times.dat");
    {
        ReplayRecorder recorder;
        ASSERT_EQ(recorder.open(odd), "");
        for (float t : {0.1234567891f, 0.2345678912f, 0.3456789123f}) {
            auto packet = testsupport::viewPacket(1, {200, 0, 0}, {0.f, 0.f}, {1.f, 1.f});
            packet->setFloatVector(0, {t});
            recorder.record(*packet);
        }
    }
    ASSERT_EQ(_host->loadReplay(QString::fromStdString(odd)), "");
    makeDialog();
    const std::string file = path("odd.avi");
    chooseOutput(file, "Huff YUV (lossless compression)");
    chooseSize(64, 48);
    const Answered answered = start();
    EXPECT_FALSE(answered.seen) << answered.text.toStdString();
    // (0.3456789123 - 0.1234567891) s at 25 frames a second.
    EXPECT_EQ(probeVideo(file).pictures.size(), 5u);
}

} // namespace
