#include "scene/ObjectTriangles.h"

#include <osg/Drawable>
#include <osg/MatrixTransform>
#include <osg/NodeVisitor>
#include <osg/TriangleFunctor>

#include "gnp2/GNP2Exception.h"
#include "gnp2/Packet.h"
#include "protocol/Items.h"
#include "scene/DrawablePurpose.h"
#include "scene/Vis3DObject.h"

namespace {

// Collects the triangles of every drawable below the node it starts at, in
// the coordinates of that node's parent (the matrices on the way applied).
class TriangleCollector : public osg::NodeVisitor
{
public:
    TriangleCollector(TriangleMesh& mesh, const osg::Matrixd& toFrame)
        : osg::NodeVisitor(TRAVERSE_ALL_CHILDREN), _mesh(mesh), _toFrame(toFrame)
    {
    }

    void apply(osg::Drawable& drawable) override
    {
        // The hidden source of a deformed copy and the copies made for
        // drawing back faces or transparency would repeat the surface.
        if (DrawablePurpose::has(drawable, DrawablePurpose::DEFORM_SOURCE |
                                               DrawablePurpose::NORMALS_REVERSED |
                                               DrawablePurpose::TRANSPARENCY_COPY))
            return;
        osg::TriangleFunctor<Adder> adder;
        adder.mesh = &_mesh;
        adder.matrix = osg::computeLocalToWorld(getNodePath()) * _toFrame;
        drawable.accept(adder);
    }

private:
    struct Adder
    {
        TriangleMesh* mesh = nullptr;
        osg::Matrixd matrix;
        void operator()(const osg::Vec3& a, const osg::Vec3& b, const osg::Vec3& c)
        {
            for (const osg::Vec3& v : {a, b, c}) {
                const osg::Vec3 p = v * matrix;
                mesh->triangles.push_back(std::uint32_t(mesh->points.size() / 3));
                mesh->points.insert(mesh->points.end(), {p.x(), p.y(), p.z()});
            }
        }
    };

    TriangleMesh& _mesh;
    osg::Matrixd _toFrame;
};

} // namespace

void collectTriangles(osg::Node& node, const osg::Matrixd& toFrame, TriangleMesh& mesh)
{
    TriangleCollector collector(mesh, toFrame);
    node.accept(collector);
}

// The object's frame: its orientation and position as the shape object
// places it (rows u, v and u x v; then moved), without the scale.
osg::Matrixd placementFrame(const GNP2::Packet& state)
{
    osg::Matrixd frame;
    if (state.hasItem(item::placement::Orientation) &&
        state.count(item::placement::Orientation) == 6) {
        const float* a = state.getFloatArray(item::placement::Orientation);
        const double wx = a[1] * a[5] - a[2] * a[4];
        const double wy = a[2] * a[3] - a[0] * a[5];
        const double wz = a[0] * a[4] - a[1] * a[3];
        frame.set(a[0], a[3], wx, 0.0, a[1], a[4], wy, 0.0, a[2], a[5], wz, 0.0, 0.0, 0.0, 0.0,
                  1.0);
    }
    if (state.hasItem(item::placement::Position) && state.count(item::placement::Position) == 3) {
        const float* p = state.getFloatArray(item::placement::Position);
        frame.postMultTranslate(osg::Vec3d(p[0], p[1], p[2]));
    }
    return frame;
}

bool objectTriangles(Vis3DObject& object, const unsigned char* frame, std::size_t size,
                     TriangleMesh& mesh)
{
    if (size < GNP2::FRAME_HEADER_SIZE)
        return false;
    GNP2::Packet packet;
    if (!packet.parse(frame + 4, size - 4).ok())
        return false;
    // A state the viewer cannot build (an item missing or of the wrong type)
    // builds nothing here either.
    try {
        object.initialize(packet);
        object.update(packet);
    } catch (const GNP2::GNP2Exception&) {
        return false;
    }
    if (!object.isInitialized())
        return false;
    const std::size_t before = mesh.triangles.size();
    collectTriangles(*object.getTransform(), osg::Matrixd::inverse(placementFrame(packet)), mesh);
    return mesh.triangles.size() > before;
}
