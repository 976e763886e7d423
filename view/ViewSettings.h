#pragma once
// The settings the views read from the program's settings store (INI, user
// scope, "Pellam"/"Orvane"). Each call opens the store, so a value edited
// while the program runs is seen at the next read. Keys are matched without
// regard to letter case, as the store's users expect.
//
// Threading: GUI thread only (QSettings objects are not shared).

#include <osg/Vec3d>
#include <osg/Vec4f>

namespace view {

// "StandardBackGroundColor/Red", "/Green", "/Blue" (0, 0, 128): the clear
// colour of a new view, opaque.
osg::Vec4f standardBackgroundColour();

// "Ruskel/noClip" (false): views draw what lies outside their frustum.
bool noClipSetting();

// "Camera/AutoCalculateHomePosition/autoCalculate" (checked) and
// "Camera/StandardPosition/X", "/Y", "/Z" ("1", "-1", "1").
struct CameraHomeSettings
{
    bool autoCalculate = true;
    osg::Vec3d standardPosition{1.0, -1.0, 1.0};
};
CameraHomeSettings cameraHomeSettings();

} // namespace view
