#include "app/ExportMcapCommand.h"

#include <cstring>
#include <utility>
#include <iostream>
#include <string>
#include <vector>

#include "client/tools/McapExport.h"
#include "objects/ShapeMesh.h"
#include "scene/ObjectKinds.h"

namespace exportmcap {

bool objectMesh(std::uint32_t kind, const unsigned char* frame, std::size_t size,
                orvane::replaytool::ObjectMesh& mesh)
{
    TriangleMesh built;
    const bool made = kind == TYPE_VisBaseObject ? ::shapeMesh(frame, size, built)
                      : kind == TYPE_VisFileObject || kind == TYPE_VisFlexBodyObject
                          ? ::modelMesh(frame, size, built)
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
