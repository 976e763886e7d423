#pragma once
// What a view tells the simulation about its camera. After every camera
// change the view reports the camera pose (the inverse view matrix) as item
// 1, sixteen floats in the matrix's storage order (row by row, the
// translation in elements 12 to 14). When the view's state holds a centre
// (item 57) the translation is given relative to it. A pose equal to the one
// sent last is not sent again; the first pose always is, since the stored
// pose starts as all zeros.
//
// Threading: GUI thread only.

#include <memory>

#include <osg/Matrixd>

#include "protocol/Items.h"

namespace GNP2 {
class Packet;
}

namespace view {

class CameraPoseReporter
{
public:
    CameraPoseReporter();

    // The packet to send for `pose`, or null when it equals the last pose
    // reported. A returned pose becomes the last one.
    std::unique_ptr<GNP2::Packet> report(const osg::Matrixd& pose, const GNP2::Packet& state);

    const osg::Matrixd& lastPose() const { return _lastPose; }

private:
    osg::Matrixd _lastPose;
};

} // namespace view
