#include "MainWindowHarness.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QPointer>
#include <QMessageBox>
#include <QTimer>

#include <gtest/gtest.h>

#include "app/VisMainWindow.h"
#include "files/ProgramPaths.h"
#include "tests/support/GlTestMain.h"

namespace apptest {

namespace {

// The data folders on the scene graph's search path, as the programs put
// them there at start-up: the effects' textures.
const GlMainStep dataFolders(GlMainStep::WithApplication, [] {
    programpaths::addDataDirectoriesToSearchPath();
    return true;
});

} // namespace

void runInMainWindow(int port, Embedding embedding, const std::function<void(VisMainWindow&)>& body)
{
    QTimer::singleShot(0, [&] {
        VisMainWindow* window = nullptr;
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* candidate = qobject_cast<VisMainWindow*>(widget))
                window = candidate;
        if (window) {
            // The window's first frames realise the viewer's contexts.
            waitFor([] { return false; }, std::chrono::milliseconds(300));
            body(*window);
        } else {
            ADD_FAILURE() << "no main window in the event loop";
        }
        QCoreApplication::quit();
    });
    VisMainWindow window(port, embedding);
}

void answerNextDialog(const char* className, std::function<void(QWidget*)> answer, bool* answered)
{
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, className, answer, answered] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->inherits(className))
            return;
        poll->stop();
        poll->deleteLater();
        answer(modal);
        if (answered)
            *answered = true;
        // An answer that leaves the dialog open would hang the test in its
        // event loop: close it and fail instead.
        QPointer<QDialog> dialog = qobject_cast<QDialog*>(modal);
        QTimer::singleShot(3000, [dialog, className] {
            if (dialog && dialog->isVisible()) {
                ADD_FAILURE() << "the " << className << " stayed open after its answer";
                dialog->reject();
            }
        });
    });
    poll->start(50);
}

void acceptNextMessageBox(QString& text, bool* answered)
{
    answerNextDialog(
        "QMessageBox",
        [&text](QWidget* box) {
            text = static_cast<QMessageBox*>(box)->text();
            static_cast<QMessageBox*>(box)->accept();
        },
        answered);
}

QImage viewerPicture(VisMainWindow& window)
{
    return grabPicture(window.viewerManager());
}

} // namespace apptest
