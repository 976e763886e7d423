// The settings dialog on the virtual X display, driven as a user drives it,
// against a settings file of each test's own: what a fresh or a hand-edited
// store shows, what OK and Cancel leave in the file, the colour and folder
// choosers, the back-end choice with and without its libraries, and the
// readers of the program seeing what the dialog saved.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QColorDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

#include <osg/io_utils>
#include <osg/ref_ptr>

#include <algorithm>

#include "MainWindowHarness.h"
#include "app/MenuTable.h"
#include "app/SettingDlg.h"
#include "app/Startup.h"
#include "app/VisMainWindow.h"
#include "client/SimulationClient.h"
#include "dynlib/SharedLibrary.h"
#include "files/FileSettings.h"
#include "settings/Settings.h"
#include "tests/support/SettingsFixture.h"
#include "view/MovingManipulator.h"
#include "view/ViewParameters.h"
#include "view/ViewSettings.h"
#include "view/ViewerManager.h"
#include "view/VisViewObject.h"

using namespace apptest;

namespace {

const std::vector<std::string> kMissing = {"liborvane-no-such-gpu-library.so"};

// Library names that load nothing.
dynlib::GpuLibraryNames missingLibraries()
{
    return {kMissing, kMissing, kMissing};
}

class SettingDialog : public settings_test::StoreFixture
{
protected:
    void TearDown() override
    {
        dynlib::unloadOpenCL(dynlib::GpuLibraryNames::standard());
        StoreFixture::TearDown();
    }

    static QVariant stored(const QString& key)
    {
        return settings::storedValue(settings::openSettings(), key);
    }

    static QStringList storedKeys()
    {
        QStringList keys = settings::openSettings().allKeys();
        keys.sort();
        return keys;
    }

    // The dialog shown, as the user sees it.
    static void show(SettingDlg& dialog)
    {
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    }

    static void click(QAbstractButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

    static void type(QLineEdit* field, const QString& text)
    {
        field->selectAll();
        QTest::keyClicks(field, text);
    }

    static void setSpin(QSpinBox* box, int value)
    {
        box->selectAll();
        QTest::keyClicks(box, QString::number(value));
        QTest::keyClick(box, Qt::Key_Tab);
    }

    // Clicks `button`, which opens a dialog of class `className`, and lets
    // `answer` close it; false when no such dialog came.
    template <class Answer>
    static bool clickIntoDialog(QAbstractButton* button, const char* className, Answer answer)
    {
        bool answered = false;
        answerNextDialog(className, answer, &answered);
        click(button);
        return answered;
    }

    // Opens the colour chooser with the dialog's button, sets `colour` in it
    // and accepts or rejects it; returns the colour the chooser opened at.
    static QColor chooseColour(SettingDlg& dialog, const QColor& colour, bool accept)
    {
        QColor offered;
        const bool answered =
            clickIntoDialog(dialog.colourButton(), "QColorDialog", [&](QWidget* widget) {
                auto* chooser = static_cast<QColorDialog*>(widget);
                offered = chooser->currentColor();
                chooser->setCurrentColor(colour);
                accept ? chooser->accept() : chooser->reject();
            });
        EXPECT_TRUE(answered) << "no colour chooser";
        return offered;
    }

    // Clicks a processor whose libraries cannot be loaded: the error says so
    // and the processor stays chosen, in the dialog and in the store.
    static void expectProcessorKept(SettingDlg& dialog, QAbstractButton* button, const char* error)
    {
        const auto [title, text] = clickIntoMessageBox(button);
        EXPECT_EQ(title, "Error loading DLLs");
        EXPECT_EQ(text, error);
        EXPECT_EQ(stored("HardwareAcceleration/extension").toInt(), 0);
        EXPECT_TRUE(dialog.cpuButton()->isChecked());
    }

    // Clicks `button`, which opens a message box; returns its title and text
    // after closing it.
    static std::pair<QString, QString> clickIntoMessageBox(QAbstractButton* button)
    {
        std::pair<QString, QString> seen;
        bool answered = false;
        answerNextDialog(
            "QMessageBox",
            [&](QWidget* widget) {
                auto* box = static_cast<QMessageBox*>(widget);
                seen = {box->windowTitle(), box->text()};
                EXPECT_EQ(box->icon(), QMessageBox::Critical);
                box->accept();
            },
            &answered);
        click(button);
        EXPECT_TRUE(waitFor([&] { return answered; })) << "no message box";
        return seen;
    }
};

TEST_F(SettingDialog, FreshStoreShowsTheDefaults)
{
    SettingDlg dialog;
    show(dialog);
    EXPECT_EQ(dialog.portField()->value(), 11000);
    EXPECT_EQ(dialog.positionField(0)->text(), "1");
    EXPECT_EQ(dialog.positionField(1)->text(), "-1");
    EXPECT_EQ(dialog.positionField(2)->text(), "1");
    EXPECT_EQ(dialog.colour(), QColor(0, 0, 128));
    EXPECT_EQ(dialog.colourButton()->styleSheet(), "background-color: rgb(0,0,128);");
    EXPECT_EQ(dialog.movementSpeedField()->value(), 25);
    EXPECT_EQ(dialog.rotationSpeedField()->value(), 25);
    EXPECT_TRUE(dialog.cpuButton()->isChecked());
    EXPECT_FALSE(dialog.cudaButton()->isChecked());
    EXPECT_FALSE(dialog.openCLButton()->isChecked());
    EXPECT_TRUE(dialog.homeCheckBox()->isChecked());
    EXPECT_FALSE(dialog.spaceMouseCheckBox()->isChecked());
    EXPECT_FALSE(dialog.replayCheckBox()->isChecked());
    EXPECT_TRUE(dialog.searchPathField()->text().isEmpty());
    // Looking changes nothing in the store.
    EXPECT_TRUE(storedKeys().isEmpty()) << storedKeys().join(", ").toStdString();
}

TEST_F(SettingDialog, LayoutTitleSizeAndRanges)
{
    SettingDlg dialog;
    show(dialog);
    EXPECT_EQ(dialog.windowTitle(), "Pellam Orvane - Settings");
    EXPECT_FALSE(dialog.windowIcon().isNull());
    EXPECT_EQ(dialog.size(), QSize(500, 380));
    EXPECT_EQ(dialog.minimumSize(), QSize(500, 380));
    EXPECT_EQ(dialog.maximumSize(), QSize(500, 380));
    EXPECT_EQ(dialog.browseButton()->size(), QSize(20, 20));
    EXPECT_EQ(dialog.browseButton()->text(), "...");
    EXPECT_EQ(dialog.colourButton()->text(), "Change...");
    EXPECT_EQ(dialog.portField()->minimum(), 0);
    EXPECT_EQ(dialog.portField()->maximum(), 65535);
    for (QSpinBox* speed : {dialog.movementSpeedField(), dialog.rotationSpeedField()}) {
        EXPECT_EQ(speed->minimum(), 1);
        EXPECT_EQ(speed->maximum(), 1000);
    }

    QStringList labels;
    for (const QLabel* label : dialog.findChildren<QLabel*>())
        labels << label->text();
    for (const char* text :
         {"TCP port:", "Additional search path for file objects:", "Standard Background Color",
          "Standard camera home position: ", "x: ", "y: ", "z: ", "Space Mouse movement speed:",
          "Space Mouse rotation speed:", "Flexible Shape calculation:       "})
        EXPECT_TRUE(labels.contains(text)) << text;
    QStringList groups;
    for (const QGroupBox* group : dialog.findChildren<QGroupBox*>())
        groups << group->title();
    EXPECT_EQ(groups, QStringList({"Camera Properties", "Space Mouse Properties"}));
    EXPECT_EQ(dialog.homeCheckBox()->text(), "Recalculate camera home position after simulation");
    EXPECT_EQ(dialog.spaceMouseCheckBox()->text(), "Enable Space Mouse for moving the scene");
    EXPECT_EQ(dialog.replayCheckBox()->text(),
              "Disable replay file writing (for real-time simulations)");
    EXPECT_EQ(dialog.cpuButton()->text(), "CPU");
    EXPECT_EQ(dialog.cudaButton()->text(), "CUDA (NVidia only)");
    EXPECT_EQ(dialog.openCLButton()->text(), "OpenCL (beta)");

    // Rows top to bottom, and everything inside the fixed size: a layout
    // that needs more room would be squeezed or cut off.
    auto top = [&](QWidget* widget) { return widget->mapTo(&dialog, QPoint()).y(); };
    const std::vector<QWidget*> rows = {dialog.portField(),
                                        dialog.searchPathField(),
                                        dialog.colourButton(),
                                        dialog.homeCheckBox(),
                                        dialog.positionField(0),
                                        dialog.spaceMouseCheckBox(),
                                        dialog.movementSpeedField(),
                                        dialog.rotationSpeedField(),
                                        dialog.cpuButton(),
                                        dialog.replayCheckBox(),
                                        dialog.okButton()};
    for (std::size_t i = 1; i < rows.size(); ++i)
        EXPECT_GT(top(rows[i]), top(rows[i - 1])) << rows[i]->metaObject()->className() << " " << i;
    for (QWidget* widget : dialog.findChildren<QWidget*>()) {
        if (!widget->isVisible() || widget->parentWidget() != &dialog)
            continue;
        const QRect area(widget->mapTo(&dialog, QPoint()), widget->size());
        EXPECT_TRUE(dialog.rect().contains(area))
            << widget->metaObject()->className() << " at " << area.x() << "," << area.y();
    }
    // No field squeezed below the height it asks for.
    for (QWidget* field : {static_cast<QWidget*>(dialog.portField()),
                           static_cast<QWidget*>(dialog.searchPathField()),
                           static_cast<QWidget*>(dialog.positionField(0)),
                           static_cast<QWidget*>(dialog.movementSpeedField()),
                           static_cast<QWidget*>(dialog.rotationSpeedField()),
                           static_cast<QWidget*>(dialog.okButton())})
        EXPECT_GE(field->height(), field->sizeHint().height()) << field->metaObject()->className();
    EXPECT_LT(dialog.okButton()->x(), dialog.cancelButton()->x());
    EXPECT_GT(dialog.okButton()->x(), dialog.width() / 2); // pushed right by the stretch
    EXPECT_LT(dialog.searchPathField()->x(), dialog.browseButton()->x());
    EXPECT_LT(dialog.cpuButton()->x(), dialog.cudaButton()->x());
    EXPECT_LT(dialog.cudaButton()->x(), dialog.openCLButton()->x());

    keepPicture(dialog.grab().toImage(), "settings-dialog");
}

TEST_F(SettingDialog, OkStoresEveryFieldAsTheTableSays)
{
    QTemporaryDir models;
    ASSERT_TRUE(models.isValid());
    SettingDlg dialog;
    show(dialog);
    setSpin(dialog.portField(), 12010);
    type(dialog.searchPathField(), models.path());
    click(dialog.homeCheckBox()); // off
    type(dialog.positionField(0), "2.5");
    type(dialog.positionField(1), "-4");
    type(dialog.positionField(2), "1e3");
    click(dialog.replayCheckBox());     // on
    click(dialog.spaceMouseCheckBox()); // on
    setSpin(dialog.movementSpeedField(), 25);
    setSpin(dialog.rotationSpeedField(), 25);
    click(dialog.okButton());

    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(
        storedKeys(),
        QStringList({"3DMouse/movement speed", "3DMouse/rotation speed", "3DMouse/useSpaceMouse",
                     "Camera/AutoCalculateHomePosition/autoCalculate", "Camera/StandardPosition/X",
                     "Camera/StandardPosition/Y", "Camera/StandardPosition/Z",
                     "FileObjects/AddSearchDir", "Network/TCPPort", "Replay/disabled",
                     "StandardBackGroundColor/Blue", "StandardBackGroundColor/Green",
                     "StandardBackGroundColor/Red"}));
    EXPECT_EQ(stored("Network/TCPPort").toInt(), 12010);
    EXPECT_EQ(stored("FileObjects/AddSearchDir").toString(), models.path());
    // Check boxes as check states.
    EXPECT_EQ(stored("Camera/AutoCalculateHomePosition/autoCalculate").toString(), "0");
    EXPECT_EQ(stored("Replay/disabled").toString(), "2");
    EXPECT_EQ(stored("3DMouse/useSpaceMouse").toString(), "2");
    EXPECT_EQ(stored("Camera/StandardPosition/X").toString(), "2.5");
    EXPECT_EQ(stored("Camera/StandardPosition/Z").toString(), "1e3");
    EXPECT_EQ(stored("StandardBackGroundColor/Blue").toInt(), 128);
    // The speeds as the numbers a person would write.
    EXPECT_EQ(stored("3DMouse/movement speed").toDouble(), 2.5e-6);
    EXPECT_EQ(stored("3DMouse/rotation speed").toDouble(), 2.5e-7);

    // The readers of the program.
    EXPECT_EQ(startup::storedPort(), 12010); // the port of the next start
    EXPECT_EQ(filesettings::searchDirectory(), models.path().toStdString());
    const view::CameraHomeSettings home = view::cameraHomeSettings();
    EXPECT_FALSE(home.autoCalculate);
    EXPECT_EQ(home.standardPosition, osg::Vec3d(2.5, -4, 1000));
    osg::ref_ptr<view::MovingManipulator> manipulator =
        new view::MovingManipulator(nullptr, nullptr);
    EXPECT_TRUE(manipulator->spaceMouse().useSpaceMouse);
    EXPECT_EQ(manipulator->spaceMouse().movementSpeed, 2.5e-6);
    EXPECT_EQ(manipulator->spaceMouse().rotationSpeed, 2.5e-7);
    EXPECT_TRUE(finishedTexts().empty()) << finishedTexts().front();
}

TEST_F(SettingDialog, ManipulatorUsesItsOwnSpeedsUntilTheDialogStoresSome)
{
    osg::ref_ptr<view::MovingManipulator> before = new view::MovingManipulator(nullptr, nullptr);
    EXPECT_FALSE(before->spaceMouse().useSpaceMouse);
    EXPECT_EQ(before->spaceMouse().movementSpeed, 1e-7);
    EXPECT_EQ(before->spaceMouse().rotationSpeed, 1e-8);
    {
        SettingDlg dialog;
        show(dialog);
        click(dialog.okButton()); // the shown 25 and 25
    }
    osg::ref_ptr<view::MovingManipulator> after = new view::MovingManipulator(nullptr, nullptr);
    EXPECT_EQ(after->spaceMouse().movementSpeed, 2.5e-6);
    EXPECT_EQ(after->spaceMouse().rotationSpeed, 2.5e-7);
    // A manipulator keeps what it read when it was made.
    EXPECT_EQ(before->spaceMouse().movementSpeed, 1e-7);
}

// Every field value comes back as it was saved: OK without changes must not
// creep the speeds down.
TEST_F(SettingDialog, SpeedFieldsSurviveSaveAndReopen)
{
    for (int field = 1; field <= 1000; ++field) {
        ASSERT_EQ(SettingDlg::speedField(SettingDlg::storedSpeed(field, 1e7), 1e7), field);
        ASSERT_EQ(SettingDlg::speedField(SettingDlg::storedSpeed(field, 1e8), 1e8), field);
        // Through the text of the file as well.
        const QString text = QVariant(SettingDlg::storedSpeed(field, 1e7)).toString();
        ASSERT_EQ(SettingDlg::speedField(text.toDouble(), 1e7), field) << text.toStdString();
    }
    // What lies between two steps shows as the lower one.
    EXPECT_EQ(SettingDlg::speedField(2.59e-6, 1e7), 25);

    for (int field : {1, 13, 999}) {
        {
            SettingDlg dialog;
            show(dialog);
            setSpin(dialog.movementSpeedField(), field);
            setSpin(dialog.rotationSpeedField(), field);
            click(dialog.okButton());
        }
        SettingDlg reopened;
        EXPECT_EQ(reopened.movementSpeedField()->value(), field);
        EXPECT_EQ(reopened.rotationSpeedField()->value(), field);
    }
}

TEST_F(SettingDialog, ShowsWhatIsStoredInAnySpelling)
{
    storeRaw({{"network/tcpport", 12020},
              {"Replay/disabled", "true"},
              {"3DMouse/useSpaceMouse", 1},
              {"Camera/AutoCalculateHomePosition/autoCalculate", 0},
              {"Camera/StandardPosition/Y", "7"},
              {"FileObjects/AddSearchDir", "/data/models"},
              {"StandardBackGroundColor/Red", 10},
              {"StandardBackGroundColor/Green", 20},
              {"StandardBackGroundColor/Blue", 30},
              {"HardwareAcceleration/extension", 1},
              {"3DMouse/movement speed", 1e-5},
              {"3DMouse/rotation speed", "5e-7"}});
    SettingDlg dialog;
    EXPECT_EQ(dialog.portField()->value(), 12020);
    EXPECT_TRUE(dialog.replayCheckBox()->isChecked());
    EXPECT_TRUE(dialog.spaceMouseCheckBox()->isChecked());
    EXPECT_FALSE(dialog.homeCheckBox()->isChecked());
    EXPECT_EQ(dialog.positionField(1)->text(), "7");
    EXPECT_EQ(dialog.searchPathField()->text(), "/data/models");
    EXPECT_EQ(dialog.colourButton()->styleSheet(), "background-color: rgb(10,20,30);");
    EXPECT_TRUE(dialog.openCLButton()->isChecked());
    EXPECT_EQ(dialog.movementSpeedField()->value(), 100);
    EXPECT_EQ(dialog.rotationSpeedField()->value(), 50);

    storeRaw({{"HardwareAcceleration/extension", 2}});
    EXPECT_TRUE(SettingDlg().cudaButton()->isChecked());
    // Selecting the stored choice loads nothing.
    EXPECT_FALSE(dynlib::Registry::instance().isLoaded("libcudart.so.13"));
}

TEST_F(SettingDialog, HandEditedValuesAreMendedAndNamed)
{
    storeRaw({{"Network/TcpPort", "abc"},
              {"StandardBackGroundColor/Green", 300},
              {"3DMouse/movement speed", -1},
              {"HardwareAcceleration/extension", 9},
              {"Replay/disabled", "perhaps"}});
    SettingDlg dialog;
    EXPECT_EQ(dialog.portField()->value(), 11000);
    EXPECT_EQ(dialog.colour(), QColor(0, 255, 128));
    EXPECT_EQ(dialog.movementSpeedField()->value(), 25);
    EXPECT_TRUE(dialog.cpuButton()->isChecked());
    EXPECT_FALSE(dialog.replayCheckBox()->isChecked());
    const std::vector<std::string> lines = finishedTexts();
    ASSERT_EQ(lines.size(), 5u);
    for (const char* key :
         {"Network/TcpPort", "StandardBackGroundColor/Green", "3DMouse/movement speed",
          "HardwareAcceleration/extension", "Replay/disabled"})
        EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                                [&](const std::string& line) {
                                    return line.rfind(std::string("[Settings] ") + key, 0) == 0;
                                }),
                  1)
            << key;

    // The program's readers mend the same way.
    EXPECT_EQ(startup::storedPort(), 11000);
    EXPECT_EQ(view::standardBackgroundColour(), view::colourFromBytes(0, 255, 128));
    osg::ref_ptr<view::MovingManipulator> manipulator =
        new view::MovingManipulator(nullptr, nullptr);
    EXPECT_EQ(manipulator->spaceMouse().movementSpeed, 1e-7);
}

TEST_F(SettingDialog, CancelStoresNothing)
{
    storeRaw({{"Network/TcpPort", 12030}});
    SettingDlg dialog;
    show(dialog);
    setSpin(dialog.portField(), 12031);
    click(dialog.replayCheckBox());
    type(dialog.positionField(0), "9");
    click(dialog.cancelButton());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(storedKeys(), QStringList({"Network/TcpPort"}));
    EXPECT_EQ(startup::storedPort(), 12030);
}

TEST_F(SettingDialog, ChosenColourIsShownAndStoredAndCancelKeepsIt)
{
    SettingDlg dialog;
    show(dialog);
    EXPECT_EQ(chooseColour(dialog, QColor(200, 60, 7), true), QColor(0, 0, 128))
        << "the chooser opens at the stored background";
    EXPECT_EQ(dialog.colour(), QColor(200, 60, 7));
    EXPECT_EQ(dialog.colourButton()->styleSheet(), "background-color: rgb(200,60,7);");

    EXPECT_EQ(chooseColour(dialog, QColor(1, 2, 3), false), QColor(200, 60, 7))
        << "the chooser opens at the current colour";
    EXPECT_EQ(dialog.colour(), QColor(200, 60, 7));
    EXPECT_EQ(dialog.colourButton()->styleSheet(), "background-color: rgb(200,60,7);");

    click(dialog.okButton());
    EXPECT_EQ(stored("StandardBackGroundColor/Red").toInt(), 200);
    EXPECT_EQ(stored("StandardBackGroundColor/Green").toInt(), 60);
    EXPECT_EQ(stored("StandardBackGroundColor/Blue").toInt(), 7);
    // New views clear to it.
    EXPECT_EQ(view::standardBackgroundColour(), view::colourFromBytes(200, 60, 7));
}

TEST_F(SettingDialog, BrowsedFolderReplacesTheSearchPathAndCancelKeepsIt)
{
    QTemporaryDir chosen;
    ASSERT_TRUE(chosen.isValid());
    SettingDlg dialog;
    show(dialog);
    type(dialog.searchPathField(), "/old/path");

    ASSERT_TRUE(clickIntoDialog(dialog.browseButton(), "QFileDialog", [&](QWidget* widget) {
        auto* chooser = static_cast<QFileDialog*>(widget);
        EXPECT_EQ(chooser->windowTitle(), "Select additional directory");
        EXPECT_EQ(chooser->directory().absolutePath(), QDir::currentPath());
        EXPECT_EQ(chooser->fileMode(), QFileDialog::Directory);
        EXPECT_TRUE(chooser->testOption(QFileDialog::ShowDirsOnly));
        // Opening the folder and accepting with nothing typed chooses it,
        // as a user does who goes into the folder and clicks Choose.
        // (selectFile with a folder's path would open its parent, whose
        // listing on a loaded machine decides what is chosen.)
        chooser->setDirectory(chosen.path());
        const QString wanted = QDir(chosen.path()).canonicalPath();
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                const QStringList files = chooser->selectedFiles();
                return files.size() == 1 && QDir(files.front()).canonicalPath() == wanted;
            },
            5000))
            << "the chooser never showed the chosen folder as its choice";
        static_cast<QDialog*>(chooser)->accept(); // QFileDialog's own is protected
    }));
    EXPECT_EQ(QDir(dialog.searchPathField()->text()).canonicalPath(),
              QDir(chosen.path()).canonicalPath());

    ASSERT_TRUE(clickIntoDialog(dialog.browseButton(), "QFileDialog", [](QWidget* widget) {
        static_cast<QFileDialog*>(widget)->reject();
    }));
    EXPECT_EQ(QDir(dialog.searchPathField()->text()).canonicalPath(),
              QDir(chosen.path()).canonicalPath());
}

TEST_F(SettingDialog, CudaWithoutItsLibrariesShowsTheErrorAndKeepsTheProcessor)
{
    storeRaw({{"HardwareAcceleration/extension", 1}});
    SettingDlg dialog(nullptr, missingLibraries());
    show(dialog);
    expectProcessorKept(dialog, dialog.cudaButton(), "Error trying to initialize CUBLAS!");
    ASSERT_FALSE(finishedTexts().empty());
    EXPECT_NE(finishedTexts().back().find(kMissing[0]), std::string::npos)
        << finishedTexts().back();
}

TEST_F(SettingDialog, CudaOnThisMachineWithoutADevice)
{
    // The CUDA libraries may be installed; what matters is the device.
    const dynlib::GpuLoadResult probe = dynlib::loadCuda(dynlib::GpuLibraryNames::standard());
    dynlib::unloadCuda(dynlib::GpuLibraryNames::standard());
    if (probe.loaded)
        GTEST_SKIP() << "this machine has a CUDA device";
    SettingDlg dialog;
    show(dialog);
    const auto [title, text] = clickIntoMessageBox(dialog.cudaButton());
    EXPECT_EQ(text, "Error trying to initialize CUBLAS!");
    EXPECT_EQ(stored("HardwareAcceleration/extension").toInt(), 0);
}

TEST_F(SettingDialog, OpenCLIsStoredAtOnceAndCancelKeepsIt)
{
    const dynlib::GpuLibraryNames names = dynlib::GpuLibraryNames::standard();
    SettingDlg dialog;
    show(dialog);
    click(dialog.openCLButton());
    EXPECT_EQ(stored("HardwareAcceleration/extension").toInt(), 1);
    EXPECT_TRUE(dynlib::Registry::instance().isLoaded(names.openCL.front()));
    click(dialog.cancelButton());
    EXPECT_EQ(stored("HardwareAcceleration/extension").toInt(), 1);

    SettingDlg again;
    show(again);
    EXPECT_TRUE(again.openCLButton()->isChecked());
    click(again.cpuButton());
    EXPECT_EQ(stored("HardwareAcceleration/extension").toInt(), 0);
    EXPECT_FALSE(dynlib::Registry::instance().isLoaded(names.openCL.front()));
}

TEST_F(SettingDialog, OpenCLWithoutItsLoaderShowsAnErrorAndKeepsTheProcessor)
{
    SettingDlg dialog(nullptr, missingLibraries());
    show(dialog);
    expectProcessorKept(dialog, dialog.openCLButton(), "Error trying to initialize OpenCL!");
}

TEST_F(SettingDialog, AStoreThatCannotBeWrittenKeepsTheDialogOpen)
{
    // A folder where the file should be: no write can succeed, even as root.
    ASSERT_TRUE(QDir(_folder.path()).mkpath("Pellam/Orvane.ini"));
    SettingDlg dialog;
    show(dialog);
    setSpin(dialog.portField(), 12040);
    const auto [title, text] = clickIntoMessageBox(dialog.okButton());
    EXPECT_EQ(title, "Settings not saved");
    EXPECT_TRUE(text.contains("Orvane.ini")) << text.toStdString();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.portField()->value(), 12040);
}

// The window's Settings... entry: the dialog opens on the window's port, an
// accepted new port becomes the window's and the next start's, and the
// running server keeps listening where it is.
TEST_F(SettingDialog, MainWindowTakesTheAcceptedPortWhileTheServerKeepsItsOwn)
{
    storeRaw({{"Replay/disabled", 2}});
    const int port = freePort();
    const int next = port == 65535 ? port - 1 : port + 1;
    testing::internal::CaptureStdout();
    runInMainWindow(port, Embedding::NativeWindow, [&](VisMainWindow& window) {
        QAction* entry = window.action(MenuCommand::Settings);
        ASSERT_TRUE(entry->isEnabled());

        bool answered = false;
        answerNextDialog(
            "SettingDlg",
            [&](QWidget* widget) {
                auto* dialog = static_cast<SettingDlg*>(widget);
                EXPECT_EQ(dialog->port(), port);
                setSpin(dialog->portField(), next);
                answerNextDialog(
                    "QColorDialog",
                    [](QWidget* chooser) {
                        static_cast<QColorDialog*>(chooser)->setCurrentColor(QColor(200, 60, 7));
                        static_cast<QColorDialog*>(chooser)->accept();
                    },
                    nullptr);
                click(dialog->colourButton());
                click(dialog->okButton());
            },
            &answered);
        entry->trigger();
        ASSERT_TRUE(answered);
        EXPECT_EQ(window.port(), next);
        EXPECT_EQ(window.viewerManager().mainView()->camera()->getClearColor(),
                  view::colourFromBytes(200, 60, 7))
            << "the new background shows at once";

        answered = false;
        answerNextDialog(
            "SettingDlg",
            [&](QWidget* widget) {
                auto* dialog = static_cast<SettingDlg*>(widget);
                EXPECT_EQ(dialog->port(), next);
                setSpin(dialog->portField(), 1234);
                click(dialog->cancelButton());
            },
            &answered);
        entry->trigger();
        ASSERT_TRUE(answered);
        EXPECT_EQ(window.port(), next);

        orvane::SimulationClient client;
        client.connect("127.0.0.1", port);
        EXPECT_TRUE(waitFor([&] { return window.statusLabel()->text() == "Status: Online"; }))
            << window.statusLabel()->text().toStdString();
    });
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_NE(printed.find("TCP PORT: " + std::to_string(port) + "\n"), std::string::npos)
        << printed;
    EXPECT_NE(printed.find("TCP PORT: " + std::to_string(next) + "\n"), std::string::npos)
        << printed;
    EXPECT_EQ(startup::storedPort(), next);
}

} // namespace
