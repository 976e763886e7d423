#include "files/MessageBoxHook.h"

#include <cstdio>

namespace messagebox {
namespace {

Hook& installedHook()
{
    static Hook hook;
    return hook;
}

} // namespace

void setHook(Hook hook)
{
    installedHook() = std::move(hook);
}

void show(const std::string& caption, const std::string& text)
{
    if (const Hook& hook = installedHook()) {
        hook(caption, text);
        return;
    }
    std::printf("%s: %s\n", caption.c_str(), text.c_str());
    std::fflush(stdout);
}

} // namespace messagebox
