#pragma once
// The head-up display's own units: an orthographic space of 1000 units
// along one side of the viewport, whichever side the aspect mode picks. The
// views size their HUD cameras with it and the HUD elements (buttons, the
// pointer position reported to the simulation) place themselves in it, so
// it sits below both.
//
// Threading: pure functions.

#include <osg/Matrixd>
#include <osg/Vec2d>

namespace hud {

// The right and top edges of the head-up display's orthographic space for an
// aspect mode and a viewport of w x h pixels (left and bottom are 0):
//   0: the height is 1000 units, 1: the width is 1000 units,
//   2: the shorter side is 1000 units, other: 1000 x 1000, stretched.
// A viewport without area gets the stretched space.
struct HudExtent
{
    double right = 1000.0;
    double top = 1000.0;
};
HudExtent hudExtent(int aspectMode, int width, int height);
// The orthographic projection of that space, depth 0 to 100.
osg::Matrixd hudProjection(int aspectMode, int width, int height);

// A pointer position in that space: (dx, dy) pixels right of and above the
// viewport's lower left corner, in a viewport of width x height pixels. Mode
// 2 counts as mode 0 when the width is at least the height. A viewport
// without area gives the origin.
osg::Vec2d hudPointer(int aspectMode, double dx, double dy, double width, double height);

} // namespace hud
