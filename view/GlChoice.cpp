#include "view/GlChoice.h"

#include <cstdlib>

namespace gl {

namespace {

bool isSet(const char* value)
{
    return value && *value;
}

} // namespace

Choice choose(const char* orvaneGl, const char* display)
{
    const std::string asked = isSet(orvaneGl) ? orvaneGl : "";
    if (asked.empty())
        return {isSet(display) ? ContextKind::X11 : ContextKind::Egl, {}};
    if (asked == "egl")
        return {ContextKind::Egl, {}};
    if (asked == "x11") {
        if (isSet(display))
            return {ContextKind::X11, {}};
        return {std::nullopt, "ORVANE_GL=x11 asks for an X display, but DISPLAY is not set "
                              "(unset ORVANE_GL or set it to egl to draw without a display)"};
    }
    return {std::nullopt, "ORVANE_GL must be x11 or egl, not \"" + asked + "\""};
}

Choice chooseFromEnvironment()
{
    return choose(std::getenv("ORVANE_GL"), std::getenv("DISPLAY"));
}

} // namespace gl
