#include "dynlib/SharedLibrary.h"

#include <dlfcn.h>

namespace dynlib {

SharedLibrary::~SharedLibrary()
{
    dlclose(_handle);
}

void* SharedLibrary::symbol(const char* name) const
{
    return dlsym(_handle, name);
}

Registry& Registry::instance()
{
    static Registry registry;
    return registry;
}

OpenResult Registry::openFirst(const std::vector<std::string>& candidates, bool keepMapped,
                               const char* requiredSymbol)
{
    OpenResult result;
    std::lock_guard lock(_mutex);
    for (const std::string& candidate : candidates) {
        if (auto held = _libraries.find(candidate); held != _libraries.end()) {
            result.library = held->second;
            return result;
        }
        const int flags = RTLD_NOW | RTLD_LOCAL | (keepMapped ? RTLD_NODELETE : 0);
        void* handle = dlopen(candidate.c_str(), flags);
        if (!handle) {
            const char* reason = dlerror();
            result.reasons += (reason ? std::string(reason) : candidate + ": cannot be opened");
            result.reasons += '\n';
            continue;
        }
        std::shared_ptr<SharedLibrary> library(new SharedLibrary(candidate, handle));
        if (requiredSymbol && !library->symbol(requiredSymbol)) {
            result.reasons += candidate + " has no " + requiredSymbol + "\n";
            continue;
        }
        _libraries.emplace(candidate, library);
        result.library = std::move(library);
        result.reasons.clear();
        return result;
    }
    return result;
}

std::shared_ptr<SharedLibrary> Registry::find(const std::string& name) const
{
    std::lock_guard lock(_mutex);
    const auto held = _libraries.find(name);
    return held == _libraries.end() ? nullptr : held->second;
}

void Registry::release(const std::string& name)
{
    std::shared_ptr<SharedLibrary> last;
    {
        std::lock_guard lock(_mutex);
        const auto held = _libraries.find(name);
        if (held == _libraries.end())
            return;
        last = std::move(held->second);
        _libraries.erase(held);
    }
    // Closed here, outside the lock, if no other owner holds it.
}

} // namespace dynlib
