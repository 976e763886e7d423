#pragma once
// What the tests of the window's first-use paths share: a short run of a
// simulation recorded by the window, and answers to modal dialogs that last
// only as long as the test wants them.

#include <QTimer>
#include <QWidget>

#include <functional>

class VisMainWindow;

namespace apptest {

// A simulation connects on `port`, moves a box through `steps` steps of
// 0.1 s (time packets 0, 0.1, ...) and leaves; returns once the window
// replays the recording. False when a step did not arrive.
bool recordRun(VisMainWindow& window, int port, int steps = 10);

// Answers the next modal dialog of class `className` with `answer`, once,
// while this object lives (an answer left armed would catch a later test's
// dialog).
class DialogAnswer
{
public:
    DialogAnswer(const char* className, std::function<void(QWidget*)> answer);
    bool answered() const { return _answered; }

private:
    QTimer _poll;
    bool _answered = false;
};

// Clicks the button of a message box whose text, without its mnemonic
// marker, is `text`; fails the test when there is none.
void clickButton(QWidget* messageBox, const QString& text);

} // namespace apptest
