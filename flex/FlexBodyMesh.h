#pragma once
// The triangles of a flexible body at the shape its state packet gives, for
// exports to other formats: the body is built and bent by the viewer's own
// object and deformation, its model file taken from `files`, and the bent
// copy read back in the body's frame (its position and orientation undone,
// its scale kept).
//
// Threading: any one thread at a time; the body built is its own.

#include <cstddef>

#include "scene/ObjectTriangles.h"

class FileSource;

// The triangles of the flexible body whose state packet is `frame` (length
// word, header word, item records), added to `mesh`; false when the packet
// does not parse, the body cannot be built from it (its file not at hand
// yet included) or it draws nothing.
bool flexBodyMesh(const unsigned char* frame, std::size_t size, FileSource& files,
                  TriangleMesh& mesh);
