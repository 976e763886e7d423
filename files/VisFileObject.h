#pragma once
// The scene object that shows a model file or a terrain (type code 4). Its
// one child under the transform is either a node from the file manager (a
// private copy, or the shared node of a large file) or, for a file whose
// extension is exactly "bb" or "wb", a terrain node from the terrain module.
//
// Items of its own: 12 the file name (text), 85[0] optional, nonzero asks
// for smoothed normals, recomputed once after loading. The common items of
// a 3D object keep their meaning.
//
// Model files load in the background: until the file manager delivers, the
// object stays uninitialised and asks again on every update. It also asks
// again in the frame's update traversal while the load is under way, so a
// model that the simulation sends only once still appears when it has
// loaded. When it appears, every appearance item of its state is applied.
//
// Threading: GUI thread only (packets and the update traversal); the only
// locking is inside the file manager.

#include <string>
#include <string_view>

#include <osg/ref_ptr>

#include "files/ModelFileUser.h"
#include "files/terrain/TerrainNode.h"
#include "scene/Vis3DObject.h"

class VisFileObject : public Vis3DObject
{
public:
    // What a terrain's load operation is given (full resolution).
    static constexpr int TERRAIN_LOAD_FLAGS = 1;

    // The files come from the context's file source; without one the object
    // stays empty.
    explicit VisFileObject(const ObjectContext& context);

    const char* className() const override { return "VisFileObject"; }

    // Up to three characters after the last "." (empty without a ".").
    static std::string extensionOf(std::string_view name);
    // Terrain files have the extension "bb" or "wb", exactly.
    static bool isTerrainName(std::string_view name);
    // The name cut before its last "." (unchanged without a ".").
    static std::string withoutExtension(std::string_view name);

    const std::string& fileName() const { return _fileName; }
    // The model node under the transform, or null.
    osg::Node* model() const { return _model.get(); }
    stravik::TerrainNode* terrainNode() const { return _terrain.get(); }

protected:
    // Shuts the terrain down; the file's usage reference goes back with _file.
    ~VisFileObject() override;

    // Update builds from the state before merging the incoming packet, and
    // item 0 of later packets does not move the process-wide time.
    Skeleton skeleton() const override
    {
        return {.buildBeforeMerge = true, .updateStoresTime = false};
    }
    // False while the model file loads.
    bool build(const GNP2::Packet& packet) override;
    void apply(const GNP2::Packet& arrived) override;

private:
    void buildTerrain();

    std::string _fileName;
    // Built from the frame once the file has loaded.
    ModelFileUser _file;
    osg::ref_ptr<osg::Node> _model;
    osg::ref_ptr<stravik::TerrainNode> _terrain;
};
