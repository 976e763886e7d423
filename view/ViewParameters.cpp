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
    using namespace viewItems;
    ViewParameters p;
    p.ownScreen = ints(packet, OWN_SCREEN, 1)[0] != 0;
    if (p.ownScreen) {
        const int* stereo = ints(packet, STEREO, 2);
        p.stereoPair = stereo[0] != 0;
        p.rightEyeScreen = stereo[1];
        if (p.stereoPair) {
            const float* geometry = floats(packet, STEREO_GEOMETRY, 2);
            p.eyeSeparation = geometry[0];
            p.screenDistance = geometry[1];
        }
    }
    p.hudAspectMode = ints(packet, HUD_ASPECT_MODE, 1)[0];
    const float* origin = floats(packet, VIEWPORT_ORIGIN, 2);
    p.origin.set(origin[0], origin[1]);
    const float* size = floats(packet, VIEWPORT_SIZE, 2);
    p.size.set(size[0], size[1]);
    p.screen = ints(packet, SCREEN, 1)[0];
    p.hasHud = ints(packet, HAS_HUD, 1)[0] != 0;
    p.nearPlane = floats(packet, NEAR_PLANE, 1)[0];
    p.farPlane = floats(packet, FAR_PLANE, 1)[0];
    p.fieldOfView = floats(packet, FIELD_OF_VIEW, 1)[0];
    const int* colour = ints(packet, BACKGROUND, 3);
    p.clearColour = colourFromBytes(colour[0], colour[1], colour[2]);
    return p;
}

void readPlacement(const GNP2::Packet& packet, CameraPlacement& placement)
{
    using namespace viewItems;
    readVec3(packet, EYE, placement.eye);
    readVec3(packet, CENTRE, placement.centre);
    readVec3(packet, UP, placement.up);
    readVec3(packet, HOME_EYE, placement.homeEye);
}

} // namespace view
