#pragma once
// The triangles a shape object draws, for exports to other formats: the
// object is built from a state packet as the object manager builds it, and
// the triangles of its drawables are read back in the object's frame (its
// position and orientation undone, its scale kept).
//
// Threading: any one thread at a time; the object built is its own.

#include <cstddef>
#include <cstdint>
#include <vector>

struct ShapeMesh
{
    std::vector<float> points;            // x, y, z of each point
    std::vector<std::uint32_t> triangles; // three point numbers each
};

// The triangles of the shape object whose state packet is `frame` (length
// word, header word, item records), added to `mesh`; false when the packet
// does not parse, the object cannot be built from it, or it draws nothing.
bool shapeMesh(const unsigned char* frame, std::size_t size, ShapeMesh& mesh);
