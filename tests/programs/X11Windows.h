#pragma once
// The X11 calls the program tests need, kept apart so that no test file sees
// Xlib's macros. Each takes the display name (":12") to talk to.

#include <cstdint>
#include <string>
#include <vector>

namespace programtest {

// Asks the top-level window of process `pid` titled "Pellam Orvane" to close,
// as a window manager's close button does (WM_DELETE_WINDOW). Returns false
// when no such window exists on the display.
bool closeMainWindowOf(const std::string& display, std::int64_t pid);
// The same for its shown top-level window titled `title` (a dialog).
bool closeWindowOf(const std::string& display, std::int64_t pid, const std::string& title);
// Whether process `pid` shows a top-level window titled `title`.
bool hasWindowOf(const std::string& display, std::int64_t pid, const std::string& title);

// The picture of the display's root window as rows of 0xRRGGBB, top row
// first; empty when the display cannot be opened.
struct ScreenPicture
{
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
    std::uint32_t at(int x, int y) const { return pixels[std::size_t(y) * width + x]; }
};
ScreenPicture grabScreen(const std::string& display);

} // namespace programtest
