#include "view/CameraPose.h"

#include <vector>

#include "gnp2/Packet.h"

namespace view {

CameraPoseReporter::CameraPoseReporter()
{
    _lastPose.set(0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0);
}

std::unique_ptr<GNP2::Packet> CameraPoseReporter::report(const osg::Matrixd& pose,
                                                         const GNP2::Packet& state)
{
    if (pose == _lastPose)
        return nullptr;

    std::vector<float> elements(16);
    const double* storage = pose.ptr();
    for (int i = 0; i < 16; ++i)
        elements[i] = static_cast<float>(storage[i]);

    const GNP2::Item& centre = state.item(item::view::Centre);
    if (centre.present() && centre.type == GNP2::TYPE_FLOAT && centre.count >= 3) {
        const float* c = state.getFloatArray(item::view::Centre);
        elements[12] -= c[0];
        elements[13] -= c[1];
        elements[14] -= c[2];
    }

    auto packet = std::make_unique<GNP2::Packet>();
    packet->setFloatVector(item::reply::camera_pose::Pose, elements);
    _lastPose = pose;
    return packet;
}

} // namespace view
