#pragma once
// A command handler receives what the user entered at the console's prompt.
// The console echoes the command as a log line first, then hands it over;
// the handler answers by writing log lines. The program installs
// CustomConsoleHandler.
//
// Threading: handle() is called on the GUI thread, from the console's key
// handling.

#include <string>

namespace console {

class CommandHandler
{
public:
    virtual ~CommandHandler() = default;
    virtual void handle(const std::string& command) = 0;
};

} // namespace console
