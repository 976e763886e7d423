#pragma once
// The triangles a shape object or a model file draws, for exports to other
// formats: a shape object is built from a state packet as the object manager
// builds it, a model file read as the file manager reads it, and the
// triangles of their drawables are read back in the object's frame (its
// position and orientation undone, its scale kept).
//
// Threading: any one thread at a time; the object built is its own.

#include <cstddef>

#include "scene/ObjectTriangles.h"

// The triangles of the shape object whose state packet is `frame` (length
// word, header word, item records), added to `mesh`; false when the packet
// does not parse, the object cannot be built from it, or it draws nothing.
bool shapeMesh(const unsigned char* frame, std::size_t size, TriangleMesh& mesh);

// The triangles of the model file named by item 12 of the state packet
// `frame`, scaled by its item 4; false when the file cannot be found or read
// (which the file manager logs) or holds no triangles.
bool modelMesh(const unsigned char* frame, std::size_t size, TriangleMesh& mesh);
