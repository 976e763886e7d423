// Keeping a run: "Save Replay..." with a name typed without ".dat", and the
// question that quitting asks while the recording holds a run that was not
// saved (Save / Discard / Cancel, "Don't ask again"), all in the real main
// window with a simulation connected through the client library.
#include <QAbstractItemView>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "MainWindowHarness.h"
#include "RecordedRun.h"
#include "app/VisMainWindow.h"
#include "scene/ObjectManager.h"

using namespace apptest;
using namespace std::chrono_literals;

namespace {

QSettings store()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, "Pellam", "Orvane");
}

void clearStore()
{
    QSettings settings = store();
    settings.clear();
    settings.sync();
}

// Types `name` into a file dialog and accepts it.
void chooseFile(QWidget* dialog, const QString& name)
{
    auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(edit, nullptr);
    edit->setText(name);
    static_cast<QDialog*>(dialog)->accept();
}

// The names the file dialog lists in `folder` under its filter.
QStringList listedNames(QWidget* dialog, const QString& folder)
{
    auto* fileDialog = qobject_cast<QFileDialog*>(dialog);
    fileDialog->setDirectory(folder);
    auto* list = dialog->findChild<QAbstractItemView*>("listView");
    QStringList names;
    if (!list)
        return names;
    // The dialog reads the folder in the background.
    waitFor([&] { return list->model()->rowCount(list->rootIndex()) > 0; }, 5s);
    for (int row = 0; row < list->model()->rowCount(list->rootIndex()); ++row)
        names << list->model()->index(row, 0, list->rootIndex()).data().toString();
    return names;
}

// Each case starts from an empty settings store, with a port and a folder of
// its own.
class RecordedRunTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        clearStore();
        ASSERT_TRUE(folder.isValid());
    }

    const int port = freePort();
    QTemporaryDir folder;
};
using SaveReplay = RecordedRunTest;
using QuitQuestion = RecordedRunTest;

TEST_F(SaveReplay, ANameWithoutExtensionIsSavedAsDatAndOpensAgain)
{
    runInMainWindow(port, Embedding::NativeWindow, [&](VisMainWindow& window) {
        ASSERT_TRUE(recordRun(window, port));

        {
            DialogAnswer save("QFileDialog",
                              [&](QWidget* dialog) { chooseFile(dialog, folder.filePath("run")); });
            window.action(MenuCommand::SaveReplay)->trigger();
            EXPECT_TRUE(save.answered());
        }
        EXPECT_FALSE(QFileInfo::exists(folder.filePath("run")));
        ASSERT_TRUE(QFileInfo::exists(folder.filePath("run.dat")));
        EXPECT_EQ(QFileInfo(folder.filePath("run.dat")).size(),
                  QFileInfo(window.objectManager().temporaryReplayPath()).size());

        // "Open Replay..." lists it under its *.dat filter, and opens it.
        QStringList listed;
        {
            DialogAnswer open("QFileDialog", [&](QWidget* dialog) {
                listed = listedNames(dialog, folder.path());
                chooseFile(dialog, folder.filePath("run.dat"));
            });
            window.action(MenuCommand::OpenReplay)->trigger();
            EXPECT_TRUE(open.answered());
        }
        EXPECT_TRUE(listed.contains("run.dat")) << listed.join(", ").toStdString();
        ASSERT_NE(window.objectManager().replay(), nullptr);
        EXPECT_EQ(window.objectManager().replay()->fileName(),
                  folder.filePath("run.dat").toStdString());
        EXPECT_NEAR(window.objectManager().replay()->lastTime(), 0.9, 1e-6);

        // A name with an extension of its own is kept as typed.
        {
            DialogAnswer save("QFileDialog", [&](QWidget* dialog) {
                chooseFile(dialog, folder.filePath("run.replay"));
            });
            window.action(MenuCommand::SaveReplay)->trigger();
        }
        EXPECT_TRUE(QFileInfo::exists(folder.filePath("run.replay")));
        EXPECT_FALSE(QFileInfo::exists(folder.filePath("run.replay.dat")));
    });
}

TEST_F(QuitQuestion, AnUnsavedRunIsAskedForAndCancelKeepsOrvaneRunning)
{
    runInMainWindow(port, Embedding::NativeWindow, [&](VisMainWindow& window) {
        EXPECT_FALSE(window.unsavedRun()) << "nothing recorded yet";
        ASSERT_TRUE(recordRun(window, port));
        EXPECT_TRUE(window.unsavedRun());

        QString question;
        {
            DialogAnswer ask("QMessageBox", [&](QWidget* box) {
                question = qobject_cast<QMessageBox*>(box)->text();
                clickButton(box, "Cancel");
            });
            window.action(MenuCommand::Exit)->trigger();
            EXPECT_TRUE(ask.answered()) << "Exit quit without asking";
        }
        EXPECT_TRUE(question.contains("has not been saved")) << question.toStdString();
        spin(300ms);
        EXPECT_TRUE(window.isVisible()) << "Cancel must keep Orvane running";

        // Save... in the question: the file dialog follows, then Orvane quits.
        {
            DialogAnswer name("QFileDialog", [&](QWidget* dialog) {
                chooseFile(dialog, folder.filePath("kept"));
            });
            DialogAnswer ask("QMessageBox", [&](QWidget* box) { clickButton(box, "Save..."); });
            window.action(MenuCommand::Exit)->trigger();
            EXPECT_TRUE(ask.answered());
            EXPECT_TRUE(name.answered());
        }
        EXPECT_TRUE(QFileInfo::exists(folder.filePath("kept.dat")));
        EXPECT_TRUE(waitFor([&] { return !window.isVisible(); }, 5s)) << "saved, but did not quit";
    });
    EXPECT_GT(QFileInfo(folder.filePath("kept.dat")).size(), 0);
}

TEST_F(QuitQuestion, NoQuestionOnceTheRunIsSaved)
{
    runInMainWindow(port, Embedding::GLWidget, [&](VisMainWindow& window) {
        ASSERT_TRUE(recordRun(window, port));
        {
            DialogAnswer save("QFileDialog", [&](QWidget* dialog) {
                chooseFile(dialog, folder.filePath("a.dat"));
            });
            window.action(MenuCommand::SaveReplay)->trigger();
        }
        EXPECT_FALSE(window.unsavedRun());
        DialogAnswer ask("QMessageBox", [&](QWidget* box) { clickButton(box, "Cancel"); });
        window.action(MenuCommand::Exit)->trigger();
        EXPECT_FALSE(ask.answered()) << "asked although the run was saved";
        EXPECT_TRUE(waitFor([&] { return !window.isVisible(); }, 5s));
    });
}

TEST_F(QuitQuestion, DontAskAgainWithDiscardIsKeptForTheNextStart)
{
    runInMainWindow(port, Embedding::NativeWindow, [&](VisMainWindow& window) {
        ASSERT_TRUE(recordRun(window, port));
        DialogAnswer ask("QMessageBox", [&](QWidget* box) {
            QCheckBox* dontAsk = qobject_cast<QMessageBox*>(box)->checkBox();
            ASSERT_NE(dontAsk, nullptr);
            dontAsk->setChecked(true);
            clickButton(box, "Discard");
        });
        window.action(MenuCommand::Exit)->trigger();
        EXPECT_TRUE(ask.answered());
        EXPECT_TRUE(waitFor([&] { return !window.isVisible(); }, 5s));
    });
    EXPECT_EQ(store().value("Replay/askToSaveOnExit").toString(), "false");

    const int second = freePort();
    runInMainWindow(second, Embedding::NativeWindow, [&](VisMainWindow& window) {
        ASSERT_TRUE(recordRun(window, second));
        EXPECT_TRUE(window.unsavedRun());
        DialogAnswer ask("QMessageBox", [&](QWidget* box) { clickButton(box, "Cancel"); });
        window.action(MenuCommand::Exit)->trigger();
        EXPECT_FALSE(ask.answered()) << "asked again after \"Don't ask again\"";
        EXPECT_TRUE(waitFor([&] { return !window.isVisible(); }, 5s));
    });
}

} // namespace
