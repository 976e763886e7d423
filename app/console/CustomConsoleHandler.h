#pragma once
// The program's console commands (words separated by blanks):
//   set mask <hex>     only lines whose level shares a bit with the mask are drawn
//   set noClip <int>   remembers whether no-clipping mode is wanted (non-zero)
// Anything else answers "Command not found!" at level 8 and shows the console.
//
// Threading: GUI thread only (called from the console's key handling); it
// writes to the thread-safe log.

#include "app/console/CommandHandler.h"

namespace console {

class Log;

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

    Log& _log;
    bool _noClip = false;
};

} // namespace console
