#include "objects/ShapeMesh.h"

#include <string>

#include <osg/MatrixTransform>

#include "gnp2/GNP2Exception.h"
#include "gnp2/Packet.h"
#include "files/FileManager.h"
#include "objects/VisBaseObject.h"
#include "protocol/Items.h"
#include "scene/ObjectServices.h"

bool shapeMesh(const unsigned char* frame, std::size_t size, TriangleMesh& mesh)
{
    if (size < GNP2::FRAME_HEADER_SIZE)
        return false;
    GNP2::Packet packet;
    if (!packet.parse(frame + 4, size - 4).ok())
        return false;
    // Built as the object manager builds it: initialize, then update.
    osg::ref_ptr<VisBaseObject> object = new VisBaseObject(ObjectContext{});
    // A state the viewer cannot build (an item missing or of the wrong
    // type) builds nothing here either.
    try {
        object->initialize(packet);
        object->update(packet);
    } catch (const GNP2::GNP2Exception&) {
        return false;
    }
    if (!object->isInitialized())
        return false;
    collectTriangles(*object->getTransform(), osg::Matrixd::inverse(placementFrame(packet)), mesh);
    return !mesh.triangles.empty();
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
    if (packet.count(item::placement::Scale) == 3) {
        const float* s = packet.getFloatArray(item::placement::Scale);
        scale.makeScale(s[0], s[1], s[2]);
    }
    collectTriangles(*model, scale, mesh);
    return !mesh.triangles.empty();
}
