#pragma once
// The main of every GL and whole-program test (tests/support/GlTestMain.cpp,
// linked instead of GoogleTest's own main). Before the application exists it
// sets the process up as the programs do (Xlib for threads, the xcb
// platform, a compatibility-profile default format), switches the scene
// graph's OpenGL error checks on after every attribute and installs the
// error collector, and points the settings store (XDG_CONFIG_HOME) at a
// temporary folder that is also the working directory: no test reads or
// writes the user's settings, and files a window writes next to itself land
// there. Then it makes the QApplication and runs the tests. Listing the
// tests (the build does it) needs no display and makes no application.
//
// A test program that needs more adds a step with a static GlMainStep:
//
//   const testsupport::GlMainStep twoScreens(
//       testsupport::GlMainStep::BeforeApplication, [] { ...; return true; });
//
// BeforeApplication steps run before the process is set up (to choose the
// display, say), WithApplication steps once the application exists. A step
// that returns false ends the run with exit status 1.

#include <functional>

namespace testsupport {

class GlMainStep
{
public:
    enum Stage
    {
        BeforeApplication,
        WithApplication,
    };
    GlMainStep(Stage stage, std::function<bool()> step);
};

} // namespace testsupport
