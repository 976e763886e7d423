#include "files/TerrainModule.h"

#include <dlfcn.h>

#include <cstdio>

#include "files/MessageBoxHook.h"
#include "files/ProgramPaths.h"

void TerrainModule::LibraryCloser::operator()(void* handle) const
{
    // Opened with RTLD_NODELETE: nodes made by the module may outlive the
    // binding, so its code stays mapped; this only drops the handle.
    if (handle)
        dlclose(handle);
}

TerrainModule::TerrainModule(std::vector<std::string> candidates)
    : _candidates(std::move(candidates))
{
}

TerrainModule::TerrainModule(Factory factory) : _tried(true), _factory(std::move(factory)) {}

TerrainModule::~TerrainModule() = default;

TerrainModule& TerrainModule::program()
{
    static TerrainModule module(programpaths::terrainModuleCandidates());
    return module;
}

bool TerrainModule::ensureLoaded()
{
    if (_tried)
        return isLoaded();
    _tried = true;
    // Why each candidate failed; said only when none loads.
    std::string reasons;
    for (const std::string& candidate : _candidates) {
        std::unique_ptr<void, LibraryCloser> library(
            dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE));
        if (!library) {
            reasons += std::string("Terrain module: ") + dlerror() + "\n";
            continue;
        }
        const auto create = reinterpret_cast<OrvaneTerrainFactory>(
            dlsym(library.get(), ORVANE_TERRAIN_FACTORY_SYMBOL));
        if (!create) {
            reasons +=
                "Terrain module: " + candidate + " has no " + ORVANE_TERRAIN_FACTORY_SYMBOL + "\n";
            continue;
        }
        _path = candidate;
        _library = std::move(library);
        _factory = [create] { return osg::ref_ptr<stravik::TerrainNode>(create()); };
        return true;
    }
    std::fputs(reasons.c_str(), stdout);
    std::fflush(stdout);
    messagebox::show(ERROR_CAPTION, ERROR_TEXT);
    return false;
}

osg::ref_ptr<stravik::TerrainNode> TerrainModule::createNode() const
{
    return _factory ? _factory() : nullptr;
}

osg::ref_ptr<stravik::TerrainNode> stravik::TerrainNode::createInstance()
{
    TerrainModule& module = TerrainModule::program();
    return module.ensureLoaded() ? module.createNode() : nullptr;
}
