#pragma once
// Which kind of OpenGL context the program draws with where it has no window
// on screen (the export commands): an X11 one (a pixel buffer on the X
// display) or an EGL one (a GPU device, else Mesa's surfaceless platform),
// which needs no display at all.
//
// ORVANE_GL=x11 or ORVANE_GL=egl chooses; without it the program keeps to
// X11 while DISPLAY names a display and draws with EGL otherwise. A choice
// that cannot be had is an error that says why, never a silent fallback.
//
// Threading: any thread; pure.

#include <optional>
#include <string>

namespace gl {

enum class ContextKind
{
    X11,
    Egl,
};

struct Choice
{
    std::optional<ContextKind> kind;
    std::string error; // why no kind can be had, when `kind` is empty
};

// The choice for the values of ORVANE_GL and DISPLAY (null when unset).
Choice choose(const char* orvaneGl, const char* display);

// The choice for this process's environment.
Choice chooseFromEnvironment();

} // namespace gl
