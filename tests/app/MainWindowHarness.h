#pragma once
// Helpers of the main-window tests that run on the (virtual) X display:
// running code inside the window's event loop, answering modal dialogs and
// the viewer's picture. Waiting, pixels, pictures and packets come from the
// shared GL support.

#include <QImage>
#include <QWidget>

#include <functional>

#include "tests/support/GlHarness.h"
#include "tests/support/Packets.h"
#include "tests/support/Pictures.h"
#include "view/ViewerManager.h"

class VisMainWindow;

namespace apptest {

using namespace testsupport;

// Constructs the main window (whose constructor runs the event loop), runs
// `body` inside the loop once the window stands, and quits the loop after
// it. Returns when the window has been destroyed (settings written).
void runInMainWindow(int port, Embedding embedding,
                     const std::function<void(VisMainWindow&)>& body);

// Arms a one-off answer to the next modal dialog: once a modal widget of
// that class appears, `answer` is called with it. Call before the action
// that opens the dialog. `answered` is set when it ran.
void answerNextDialog(const char* className, std::function<void(QWidget*)> answer, bool* answered);
// Accepts the next message box, keeping its text in `text` (which must
// outlive the answer).
void acceptNextMessageBox(QString& text, bool* answered);

// The viewer's picture now (drawing one frame), top row first.
QImage viewerPicture(VisMainWindow& window);

} // namespace apptest
