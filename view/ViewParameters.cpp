#include "view/ViewParameters.h"

#include "scene/Colour.h"
#include "gnp2/Packet.h"

namespace view {

namespace {

const float* floats(const GNP2::Packet& packet, int index, int minCount)
{
    const float* data = packet.getFloatArray(index);
    if (packet.count(index) < minCount)
        throw GNP2::GNP2Exception(GNP2::ACCESSOR_ERROR, index);
    return data;
}

const int* ints(const GNP2::Packet& packet, int index, int minCount)
{
    const int* data = packet.getIntArray(index);
    if (packet.count(index) < minCount)
        throw GNP2::GNP2Exception(GNP2::ACCESSOR_ERROR, index);
    return data;
}

bool readVec3(const GNP2::Packet& packet, int index, osg::Vec3d& out)
{
    const GNP2::Item& item = packet.item(index);
    if (!item.present() || item.type != GNP2::TYPE_FLOAT || item.count < 3)
        return false;
    const float* v = packet.getFloatArray(index);
    out.set(v[0], v[1], v[2]);
    return true;
}

} // namespace

osg::Vec4f colourFromBytes(int red, int green, int blue)
{
    return colour::fromBytes(red, green, blue);
}

ViewParameters readViewCreation(const GNP2::Packet& packet)
{
    ViewParameters p;
    p.ownScreen = ints(packet, item::view::OwnWindow, 1)[0] != 0;
    if (p.ownScreen) {
        const int* stereo = ints(packet, item::view::Stereo, 2);
        p.stereoPair = stereo[0] != 0;
        p.rightEyeScreen = stereo[1];
        if (p.stereoPair) {
            const float* geometry = floats(packet, item::view::StereoGeometry, 2);
            p.eyeSeparation = geometry[0];
            p.screenDistance = geometry[1];
        }
    }
    p.hudAspectMode = ints(packet, item::view::HudAspect, 1)[0];
    const float* origin = floats(packet, item::view::ViewportOrigin, 2);
    p.origin.set(origin[0], origin[1]);
    const float* size = floats(packet, item::view::ViewportSize, 2);
    p.size.set(size[0], size[1]);
    p.screen = ints(packet, item::view::Screen, 1)[0];
    p.hasHud = ints(packet, item::view::ShowHud, 1)[0] != 0;
    p.nearPlane = floats(packet, item::view::Near, 1)[0];
    p.farPlane = floats(packet, item::view::Far, 1)[0];
    p.fieldOfView = floats(packet, item::view::FieldOfView, 1)[0];
    const int* colour = ints(packet, item::view::Background, 3);
    p.clearColour = colourFromBytes(colour[0], colour[1], colour[2]);
    return p;
}

void readPlacement(const GNP2::Packet& packet, CameraPlacement& placement)
{
    readVec3(packet, item::view::Eye, placement.eye);
    readVec3(packet, item::view::Centre, placement.centre);
    readVec3(packet, item::view::Up, placement.up);
    readVec3(packet, item::view::HomeEye, placement.homeEye);
}

} // namespace view
