#pragma once
// The settings the views read from the program's settings store, with the
// defaults of the settings table (settings/Settings.def). Each call opens the
// store, so a value edited while the program runs is seen at the next read.
// Keys are matched without regard to letter case, as the store's users
// expect. A value that cannot be used is mended (the default, or the nearest
// value in range) and reported on the console.
//
// Threading: GUI thread only (QSettings objects are not shared).

#include <osg/Vec3d>
#include <osg/Vec4f>

namespace view {

// "StandardBackGroundColor/Red", "/Green", "/Blue", each within 0-255:
// the clear colour of a new view, opaque.
osg::Vec4f standardBackgroundColour();

// "Ruskel/noClip": views draw what lies outside their frustum.
bool noClipSetting();

// "Camera/AutoCalculateHomePosition/autoCalculate" and
// "Camera/StandardPosition/X", "/Y", "/Z".
struct CameraHomeSettings
{
    bool autoCalculate;
    osg::Vec3d standardPosition;
};
CameraHomeSettings cameraHomeSettings();

// "3DMouse/useSpaceMouse", "3DMouse/movement speed", "3DMouse/rotation
// speed": whether the camera manipulator follows the 3D mouse and how fast
// (factors of the squared deflection).
struct SpaceMouseSettings
{
    bool useSpaceMouse;
    double movementSpeed;
    double rotationSpeed;
};
SpaceMouseSettings spaceMouseSettings();

} // namespace view
