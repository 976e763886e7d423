#pragma once
// The arithmetic of a view, free of any window: where its viewport lies in
// a window, which culling it uses, how a camera placement given by eye,
// centre and up is made usable, and where a camera stands to frame a scene.
//
// Threading: pure functions.

#include <osg/Matrixd>
#include <osg/Vec2f>
#include <osg/Vec3d>

#include "scene/HudUnits.h"

namespace view {

// The head-up display space of a view (scene/HudUnits.h).
using hud::HudExtent;
using hud::hudExtent;
using hud::hudProjection;

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

// The share of the view's narrower angle that a framed scene's bounding
// sphere takes: a margin all round, so that the scene is seen whole.
inline constexpr double FRAMED_SHARE = 0.8;

// Where the camera stands to frame a scene whose bounding sphere has the
// given centre and radius: looking at the centre from `direction` (eye
// minus centre; any length, a zero or unusable one counts as (1, -1, 1)),
// with z up, far enough that the sphere fills FRAMED_SHARE of the narrower
// of the vertical field of view `fovyDegrees` and the horizontal one that
// the viewport's width / height `aspect` gives. A radius of zero or less
// frames a sphere of radius 1.
LookAt framingLookAt(const osg::Vec3d& centre, double radius, const osg::Vec3d& direction,
                     double fovyDegrees, double aspect);

} // namespace view
