#pragma once
// The terrain node: what the terrain module makes and the program shows for
// a terrain file (extension "bb" or "wb"). The module is a shared library of
// its own (liborvane-terrain.so), loaded on the first terrain object; the
// program knows it only through this interface and one C factory function.
//
// The program relies on three operations:
//   createInstance()      a new node, possibly null (program side: it loads
//                         the module on first use)
//   load(base, flags)     loads the terrain for a file name given without its
//                         extension into the node; the program passes flags 1
//   shutdown()            releases what the node holds, before the program
//                         drops its reference
//
// The module's file format is described in docs/help-type4.html
// ("Terrain files").
//
// Threading: GUI thread only, like every scene node.

#include <string>

#include <osg/Group>
#include <osg/ref_ptr>

namespace stravik {

class TerrainNode : public osg::Group
{
public:
    // A node from the program's terrain module, loading the module if it is
    // not loaded yet. Null when the module cannot be loaded or made none.
    static osg::ref_ptr<TerrainNode> createInstance();

    // Replaces the node's content with the terrain of `baseName` (the file
    // name without its extension). `flags` is the sample step: 1 uses every
    // height sample, n every n-th. Returns the terrain's geometry node, or
    // null when nothing could be loaded (the node is then empty).
    virtual osg::ref_ptr<osg::Node> load(const std::string& baseName, int flags) = 0;
    // Empties the node and releases its geometry and images.
    virtual void shutdown() = 0;

protected:
    ~TerrainNode() override = default;
};

} // namespace stravik

// The module's one export: a new terrain node that the caller owns (wrap it
// in a ref_ptr at once).
extern "C" {
using OrvaneTerrainFactory = stravik::TerrainNode* (*)();
}
inline constexpr const char* ORVANE_TERRAIN_FACTORY_SYMBOL = "orvane_terrain_create";
