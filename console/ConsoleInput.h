#pragma once
// The console's keyboard side: whether it is visible, the text typed at the
// prompt, and what each key does to them and to the log (F10 toggles, Page
// Up/Down scroll, Backspace edits, Return hands the command to the command
// handler). Key codes are the X11 keysym values that OSG's event adapter
// reports, so the OSG event handler passes them straight through.
//
// Threading: GUI thread only. It writes to the thread-safe log.

#include "console/CommandHandler.h"
#include "console/ConsoleLayout.h"

#include <memory>
#include <string>

namespace console {

class Log;

enum Key : int
{
    KEY_BackSpace = 0xFF08,
    KEY_Tab = 0xFF09,
    KEY_Return = 0xFF0D,
    KEY_Page_Up = 0xFF55,
    KEY_Page_Down = 0xFF56,
    KEY_F10 = 0xFFC7,
    KEY_Shift_L = 0xFFE1,
    KEY_Shift_R = 0xFFE2,
    KEY_Control_L = 0xFFE3,
    KEY_Control_R = 0xFFE4,
    KEY_Alt_L = 0xFFE9,
    KEY_Alt_R = 0xFFEA,
};

class ConsoleInput
{
public:
    enum class KeyResult
    {
        Ignored,  // left to other handlers
        Toggled,  // visibility changed; consumed
        Consumed, // input or scrolling handled (or deliberately ignored); consumed
    };

    explicit ConsoleInput(Log& log);
    ConsoleInput();

    // One key-down event. rowsOf measures how many rows a line wraps to (for
    // the scroll limit).
    KeyResult keyDown(int key, const RowCounter& rowsOf);

    bool visible() const { return _visible; }
    // Shows the console (an error opened it) or hides it.
    void setVisible(bool visible) { _visible = visible; }
    const std::string& input() const { return _input; }
    // "|> " followed by the input: the prompt row's text.
    std::string promptText() const { return "|> " + _input; }

    void setCommandHandler(std::shared_ptr<CommandHandler> handler);
    CommandHandler* commandHandler() const { return _commandHandler.get(); }

private:
    void enter();

    Log& _log;
    bool _visible = false;
    std::string _input;
    std::shared_ptr<CommandHandler> _commandHandler;
};

} // namespace console
