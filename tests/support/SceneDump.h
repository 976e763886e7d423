#pragma once
// A scene as text, for comparing two scenes line by line: the one a live run
// built and the one its replay rebuilds (golden recordings). Every object the
// update callback holds gives one block, ordered by connection and object
// number:
//
//   object 0/19 VisBaseObject
//     matrix 1 0 0 0 0 1 0 0 0 0 1 0 19 0 0 1
//     colours 1 0 0 1
//     state 0=f[0.9] 1=f[19 0 0] 13=i[0]
//
// `matrix` is the object's transform (Vis3DObject; "-" for other classes),
// `colours` the diffuse colours of the materials in its subtree in traversal
// order ("-" when there are none), `state` every present item of its state
// packet. Numbers are written so that they read back exactly (9 significant
// digits for the floats of items and colours, 17 for the matrix's doubles):
// two scenes compare equal only when every value is the same.

#include <string>

class rootnodeUpdateCallback;
class VisObject;

namespace testsupport {

std::string dumpObject(int connection, int objectNumber, VisObject& object);
std::string dumpScene(const rootnodeUpdateCallback& objects);

} // namespace testsupport
