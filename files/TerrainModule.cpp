#include "files/TerrainModule.h"

#include <cstdio>

#include "files/ProgramPaths.h"

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

bool TerrainModule::ensureLoaded(UserMessages* messages)
{
    if (_tried)
        return isLoaded();
    _tried = true;
    // Kept mapped: nodes made by the module may outlive the binding.
    dynlib::OpenResult opened =
        dynlib::Registry::instance().openFirst(_candidates, true, ORVANE_TERRAIN_FACTORY_SYMBOL);
    if (opened.library) {
        const auto create =
            opened.library->function<OrvaneTerrainFactory>(ORVANE_TERRAIN_FACTORY_SYMBOL);
        _path = opened.library->name();
        _library = std::move(opened.library);
        _factory = [create] { return osg::ref_ptr<stravik::TerrainNode>(create()); };
        return true;
    }
    // Why each candidate failed, said only when none loads.
    std::string reasons;
    std::size_t begin = 0;
    while (begin < opened.reasons.size()) {
        const std::size_t lineEnd = opened.reasons.find('\n', begin);
        reasons += "Terrain module: " + opened.reasons.substr(begin, lineEnd - begin + 1);
        begin = lineEnd + 1;
    }
    std::fputs(reasons.c_str(), stdout);
    std::fflush(stdout);
    if (messages)
        messages->showMessage(ERROR_CAPTION, ERROR_TEXT);
    else
        std::printf("%s: %s\n", ERROR_CAPTION, ERROR_TEXT);
    std::fflush(stdout);
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
