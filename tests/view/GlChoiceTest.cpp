// Which OpenGL context an export draws with, from ORVANE_GL and DISPLAY.
#include <gtest/gtest.h>

#include "view/GlChoice.h"

namespace {

TEST(GlChoice, KeepsToTheDisplayUnlessToldAndRefusesWhatCannotBeHad)
{
    using gl::ContextKind;
    struct Case
    {
        const char* orvaneGl;
        const char* display;
        std::optional<ContextKind> kind;
        const char* error; // a part of the reason when there is no kind
    } cases[] = {
        {nullptr, ":0", ContextKind::X11, ""},
        {nullptr, nullptr, ContextKind::Egl, ""},
        {"", "", ContextKind::Egl, ""}, // set but empty is no display
        {"", ":1", ContextKind::X11, ""},
        {"egl", ":0", ContextKind::Egl, ""},
        {"x11", ":0", ContextKind::X11, ""},
        {"x11", nullptr, std::nullopt, "DISPLAY is not set"},
        {"x11", "", std::nullopt, "DISPLAY is not set"},
        {"EGL", ":0", std::nullopt, "not \"EGL\""},
        {"glx", nullptr, std::nullopt, "must be x11 or egl"},
    };
    for (const Case& c : cases) {
        const gl::Choice choice = gl::choose(c.orvaneGl, c.display);
        SCOPED_TRACE(std::string(c.orvaneGl ? c.orvaneGl : "(unset)") + " / " +
                     (c.display ? c.display : "(unset)"));
        EXPECT_EQ(choice.kind, c.kind);
        if (!c.kind) {
            EXPECT_NE(choice.error.find(c.error), std::string::npos) << choice.error;
        }
    }
}

} // namespace
