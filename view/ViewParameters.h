#pragma once
// The settings of a view as the simulation gives them when it creates one
// (object type 9), and the defaults of the main window's own view.
//
// Items of a view packet:
//   55 int[1]   camera control on update: 1 look at 56-58, 2 move the
//               rotation centre to 57, else leave the camera to the user
//   56/57/58    float[3] eye, centre, up
//   59/60       float[2] viewport origin and size, fractions of the window
//   61 int[1]   nonzero: own full-screen window;  62 int[1] its screen
//   63 int[3]   background colour 0-255
//   64/65/66    float[1] near plane, far plane, vertical field of view (deg)
//   67 int[1]   nonzero: a head-up display camera;  68 int[1] its aspect mode
//   69 float[3] home eye position relative to the centre
//   96 int[2]   (own window only) [0] nonzero: stereo pair, [1] right-eye screen
//   97 float[2] (stereo pair only) eye separation, screen distance
//
// Threading: pure functions.

#include <osg/Vec2f>
#include <osg/Vec3d>
#include <osg/Vec4f>

#include "protocol/Items.h"

namespace GNP2 {
class Packet;
}

namespace view {

// Values of item 55: LOOK_AT, MOVE_CENTRE.
using CameraControl = item::view::CameraControlValue;
using enum item::view::CameraControlValue;

struct ViewParameters
{
    osg::Vec2f origin{0.0f, 0.0f};
    osg::Vec2f size{1.0f, 1.0f};
    float nearPlane = 0.1f;
    float farPlane = 1500.0f;
    float fieldOfView = 30.0f;
    int hudAspectMode = 0;
    bool hasHud = true;
    osg::Vec4f clearColour{0.0f, 0.0f, 0.0f, 0.0f};

    bool ownScreen = false;
    int screen = 0;
    bool stereoPair = false;
    int rightEyeScreen = 0;
    float eyeSeparation = 0.0f;
    float screenDistance = 0.0f;
};

// The settings of a new view, read from its creating packet; the clear
// colour comes from item 63. Throws the packet exception naming the first
// required item that is missing, of another type or too short; nothing is
// read past it.
ViewParameters readViewCreation(const GNP2::Packet& packet);

// An item 63 colour (0-255 each) as an opaque clear colour.
osg::Vec4f colourFromBytes(int red, int green, int blue);

// Where a view's camera stands: eye, centre and up (items 56-58) and the
// home eye relative to the centre (item 69). Absent items count as zero.
struct CameraPlacement
{
    osg::Vec3d eye;
    osg::Vec3d centre;
    osg::Vec3d up;
    osg::Vec3d homeEye;
};
// Takes the items 56, 57, 58 and 69 that the packet holds (as float[3]).
void readPlacement(const GNP2::Packet& packet, CameraPlacement& placement);

} // namespace view
