#pragma once
// The program's console commands (words separated by blanks):
//   help               lists the commands
//   set mask <hex>     only lines whose level shares a bit with the mask are drawn
//   set noClip <int>   remembers whether no-clipping mode is wanted (non-zero)
// Anything else answers "Command not found!" and how to list the commands at
// level 8, and shows the console.
//
// Threading: GUI thread only (called from the console's key handling); it
// writes to the thread-safe log.

#include "console/CommandHandler.h"

namespace console {

class Log;

// What "help" answers, one line each.
inline constexpr const char* kCommandList[] = {
    "Commands:",
    "  help              lists these commands",
    "  set mask <hex>    shows only the levels in the hexadecimal mask (1 2 4 8 10 20; ff: all)",
    "  set noClip <0|1>  notes whether objects outside the view are still drawn",
    "F10 hides the console; Page Up and Page Down scroll it.",
};

class CustomConsoleHandler : public CommandHandler
{
public:
    explicit CustomConsoleHandler(Log& log);
    CustomConsoleHandler();

    void handle(const std::string& command) override;

    // The value last given to "set noClip".
    bool noClip() const { return _noClip; }

private:
    void notFound();
    void listCommands();

    Log& _log;
    bool _noClip = false;
};

} // namespace console
