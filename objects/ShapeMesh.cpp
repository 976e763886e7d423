#include "objects/ShapeMesh.h"

#include <string>

#include "gnp2/Packet.h"
#include "files/FileManager.h"
#include "objects/VisBaseObject.h"
#include "protocol/Items.h"
#include "scene/ObjectServices.h"

bool shapeMesh(const unsigned char* frame, std::size_t size, TriangleMesh& mesh)
{
    osg::ref_ptr<VisBaseObject> object = new VisBaseObject(ObjectContext{});
    return objectTriangles(*object, frame, size, mesh);
}

bool modelMesh(const unsigned char* frame, std::size_t size, TriangleMesh& mesh)
{
    if (size < GNP2::FRAME_HEADER_SIZE)
        return false;
    GNP2::Packet packet;
    if (!packet.parse(frame + 4, size - 4).ok() || !packet.hasItem(item::model_file::FileName))
        return false;
    std::string name = packet.getString(item::model_file::FileName);
    while (!name.empty() && name.back() == '\0')
        name.pop_back();
    const osg::ref_ptr<osg::Node> model = FileManager::readModelFile(name);
    if (!model)
        return false;
    osg::Matrixd scale;
    if (packet.hasItem(item::placement::Scale) && packet.count(item::placement::Scale) == 3) {
        const float* s = packet.getFloatArray(item::placement::Scale);
        scale.makeScale(s[0], s[1], s[2]);
    }
    collectTriangles(*model, scale, mesh);
    return !mesh.triangles.empty();
}
