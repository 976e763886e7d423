#pragma once
// Shared libraries that the program binds at run time: the terrain module,
// and the GPU compute libraries that the flexible bodies and the settings
// dialog load on request. One registry owns every handle, keyed by the file
// name it was opened with, so that the loaders that share a library (the
// settings dialog loading the GPU libraries "to see that they are there",
// the deformation back-end using them) hold the same handle and unloading
// it in one place is seen everywhere.
//
// A SharedLibrary is a dlopen handle behind RAII: it is closed when the last
// shared owner lets go. Libraries opened with `keepMapped` stay mapped after
// that (RTLD_NODELETE), for modules whose objects may outlive the handle.
//
// Threading: the registry's table is protected by its mutex, so any thread
// may open, look up and release; a SharedLibrary itself is immutable.

#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace dynlib {

class SharedLibrary
{
public:
    ~SharedLibrary();
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    // The address of an exported symbol, or null.
    void* symbol(const char* name) const;
    template <typename Function> Function function(const char* name) const
    {
        return reinterpret_cast<Function>(symbol(name));
    }
    // The name it was opened with.
    const std::string& name() const { return _name; }

private:
    friend class Registry;
    SharedLibrary(std::string name, void* handle) : _name(std::move(name)), _handle(handle) {}

    std::string _name;
    void* _handle;
};

struct OpenResult
{
    // The library, or null when no candidate opened.
    std::shared_ptr<SharedLibrary> library;
    // One line per candidate that failed, with the loader's reason.
    std::string reasons;
};

class Registry
{
public:
    static Registry& instance();

    // The first of the candidates that opens (with every symbol resolved),
    // reusing a handle the registry already holds. A candidate that opens
    // but lacks `requiredSymbol` (when given) does not count.
    OpenResult openFirst(const std::vector<std::string>& candidates, bool keepMapped = false,
                         const char* requiredSymbol = nullptr);
    // The held library of that name, or null.
    std::shared_ptr<SharedLibrary> find(const std::string& name) const;
    // Drops the registry's hold on a library: it is closed once no other
    // owner keeps it. Unknown names are ignored.
    void release(const std::string& name);
    bool isLoaded(const std::string& name) const { return find(name) != nullptr; }

private:
    mutable std::mutex _mutex;
    // Protected by _mutex.
    std::unordered_map<std::string, std::shared_ptr<SharedLibrary>> _libraries;
};

} // namespace dynlib
