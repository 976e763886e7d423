#pragma once
// The arithmetic of a view, free of any window: where its viewport lies in
// a window, how its head-up display space is scaled, which culling it uses,
// and how a camera placement given by eye, centre and up is made usable.
//
// Threading: pure functions.

#include <osg/Matrixd>
#include <osg/Vec2f>
#include <osg/Vec3d>

namespace view {

struct Viewport
{
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    bool operator==(const Viewport&) const = default;
};

// The pixel rectangle of a view whose origin and size are fractions of the
// window's width and height; each value is truncated toward zero.
Viewport viewportFor(osg::Vec2f origin, osg::Vec2f size, int windowWidth, int windowHeight);

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

// The camera culling mode: with "no clip" only small-feature, shadow-occlusion
// and cluster culling, so that nothing is dropped for lying outside the
// frustum; otherwise every kind of culling.
unsigned int cullingModeFor(bool noClip);

// A camera placement. `valid` is false when eye and centre coincide or a
// value is not finite: such a placement has no viewing direction.
struct LookAt
{
    osg::Vec3d eye;
    osg::Vec3d centre;
    osg::Vec3d up;
    bool valid = false;
};
// Makes a placement usable: an up vector that is zero or parallel to the
// viewing direction is replaced by the world z axis (or y when looking
// along z).
LookAt usableLookAt(const osg::Vec3d& eye, const osg::Vec3d& centre, const osg::Vec3d& up);

} // namespace view
