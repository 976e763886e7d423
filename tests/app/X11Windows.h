#pragma once
// The X11 calls the program tests need, kept apart so that no test file sees
// Xlib's macros.

#include <cstdint>

namespace apptest {

// Asks the top-level window of process `pid` titled "Pellam Orvane" to close,
// as a window manager's close button does (WM_DELETE_WINDOW). Returns false
// when no such window exists on the display.
bool closeMainWindowOf(std::int64_t pid);

} // namespace apptest
