#pragma once
// The program's binding of the terrain module (liborvane-terrain.so). The
// module is loaded with all its symbols resolved when the first terrain
// object is built, and stays loaded. When it cannot be loaded, the message
// box "Error loading the terrain visualization module." (caption "Orvane")
// is shown once and the binding stays unloaded: terrain objects stay empty
// and the program goes on, so a live session and its recording survive a
// missing module.
//
// Threading: GUI thread only (terrain objects are built there).

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <osg/ref_ptr>

#include "dynlib/SharedLibrary.h"
#include "files/terrain/TerrainNode.h"
#include "scene/ObjectServices.h"

class TerrainModule
{
public:
    using Factory = std::function<osg::ref_ptr<stravik::TerrainNode>()>;

    static constexpr const char* ERROR_TEXT = "Error loading the terrain visualization module.";
    static constexpr const char* ERROR_CAPTION = "Orvane";

    // A binding that loads the first of these library files that opens.
    explicit TerrainModule(std::vector<std::string> candidates);
    // A binding to a factory that is already at hand (tests).
    explicit TerrainModule(Factory factory);
    ~TerrainModule();
    TerrainModule(const TerrainModule&) = delete;
    TerrainModule& operator=(const TerrainModule&) = delete;

    // The program's binding: the module next to the executable, in the
    // installed library folder, or in the build tree.
    static TerrainModule& program();

    // Loads the module on the first call and says whether it is loaded.
    // The first failure shows the error box; later calls answer at once.
    // `messages` shows the error box; without it the error goes to
    // standard output.
    bool ensureLoaded(UserMessages* messages = nullptr);
    bool isLoaded() const { return static_cast<bool>(_factory); }
    // The library file that was loaded (empty for a factory binding).
    const std::string& loadedPath() const { return _path; }

    // A new terrain node, or null when the module is not loaded (this does
    // not load it) or made none.
    osg::ref_ptr<stravik::TerrainNode> createNode() const;

private:
    std::vector<std::string> _candidates;
    bool _tried = false;
    std::string _path;
    std::shared_ptr<dynlib::SharedLibrary> _library;
    Factory _factory;
};
