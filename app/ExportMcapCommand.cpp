#include "app/ExportMcapCommand.h"

#include <cstring>
#include <utility>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "client/tools/McapExport.h"
#include "files/FileManager.h"
#include "flex/FlexBodyMesh.h"
#include "objects/ShapeMesh.h"
#include "scene/ObjectKinds.h"

namespace exportmcap {

namespace {

// Model files read at once, each once, for the flexible bodies being built
// one after another (the viewer's file manager loads on threads of its own).
class ReadFiles : public FileSource
{
public:
    osg::ref_ptr<osg::Node> loadOrCloneFile(const std::string& name) override
    {
        auto [found, added] = _nodes.try_emplace(name);
        if (added)
            found->second = FileManager::readModelFile(name);
        return found->second;
    }
    void releaseFile(const std::string&) override {}
    FileState fileState(const std::string& name) const override
    {
        const auto found = _nodes.find(name);
        return found == _nodes.end() ? FileState::Absent
               : found->second       ? FileState::Loaded
                                     : FileState::Failed;
    }
    osg::ref_ptr<osg::Node> createTerrainNode(UserMessages*) override { return nullptr; }

private:
    std::map<std::string, osg::ref_ptr<osg::Node>> _nodes;
};

ReadFiles& files()
{
    static ReadFiles read;
    return read;
}

} // namespace

bool objectMesh(std::uint32_t kind, const unsigned char* frame, std::size_t size,
                orvane::replaytool::ObjectMesh& mesh)
{
    TriangleMesh built;
    const bool made = kind == TYPE_VisBaseObject       ? ::shapeMesh(frame, size, built)
                      : kind == TYPE_VisFileObject     ? ::modelMesh(frame, size, built)
                      : kind == TYPE_VisFlexBodyObject ? flexBodyMesh(frame, size, files(), built)
                                                       : false;
    if (!made)
        return false;
    mesh.points = std::move(built.points);
    mesh.triangles = std::move(built.triangles);
    return true;
}

bool requested(int argc, char** argv)
{
    return argc >= 2 && std::strcmp(argv[1], OPTION) == 0;
}

int run(int argc, char** argv)
{
    std::vector<std::string> args{"export-mcap"};
    args.insert(args.end(), argv + 2, argv + argc);
    return orvane::replaytool::exportMcap(args, std::cout, std::cerr, objectMesh);
}

} // namespace exportmcap
