#pragma once
// How the file layer shows a modal message box without linking widgets: the
// program installs a hook at start-up that opens the box; until then (and in
// tests and tools) the message goes to standard output as
// "<caption>: <text>".
//
// The hook is called on the thread that applies packets, inside the scene's
// update traversal. A hook that runs a nested event loop there (a modal
// QMessageBox::exec) lets the frame timer re-enter the traversal, so the
// program's hook should queue the box to open after the frame instead.
//
// Threading: set the hook before the object manager starts; show from the
// GUI thread.

#include <functional>
#include <string>

namespace messagebox {

using Hook = std::function<void(const std::string& caption, const std::string& text)>;

// Installs the hook; an empty one restores the standard-output default.
void setHook(Hook hook);
// A box with one OK button.
void show(const std::string& caption, const std::string& text);

} // namespace messagebox
