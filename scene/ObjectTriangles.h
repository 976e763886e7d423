#pragma once
// The triangles of what an object draws, read back from its nodes for
// exports to other formats, in the object's own frame.
//
// Threading: any one thread at a time, on nodes no other thread changes.

#include <cstddef>
#include <cstdint>
#include <vector>

#include <osg/Matrixd>
#include <osg/Node>

namespace GNP2 {
class Packet;
}
class Vis3DObject;

struct TriangleMesh
{
    std::vector<float> points;            // x, y, z of each point
    std::vector<std::uint32_t> triangles; // three point numbers each
};

// Adds the triangles of every drawable below `node` (the node's own matrix
// and those on the way applied, then `toFrame`) to `mesh`. Drawables that
// only repeat others (a deformed body's hidden source, back-face and
// transparency copies) are left out.
void collectTriangles(osg::Node& node, const osg::Matrixd& toFrame, TriangleMesh& mesh);

// An object's frame: the turn of its orientation item (rows u, v and u x v)
// then the move of its position item, as the object's transform places it,
// without the scale.
osg::Matrixd placementFrame(const GNP2::Packet& state);

// Builds `object` (new, of the kind the packet is for) from the state packet
// `frame` (length word, header word, item records) as the object manager
// builds objects, initialize then update, and adds the triangles below its
// transform in its frame; false when the packet does not parse, the object
// cannot be built from it or it draws nothing.
bool objectTriangles(Vis3DObject& object, const unsigned char* frame, std::size_t size,
                     TriangleMesh& mesh);
