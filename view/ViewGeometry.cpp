#include "view/ViewGeometry.h"

#include <algorithm>
#include <cmath>

#include <osg/CullSettings>
#include <osg/Math>

namespace view {

namespace {

// The product in float, as the fractions arrive: 0.7f x 1000 rounds to
// exactly 700 in float, where the double product 699.99998... would
// truncate to 699.
int scaled(float fraction, int pixels)
{
    return static_cast<int>(std::trunc(fraction * static_cast<float>(pixels)));
}

bool finite(const osg::Vec3d& v)
{
    return std::isfinite(v.x()) && std::isfinite(v.y()) && std::isfinite(v.z());
}

} // namespace

Viewport viewportFor(osg::Vec2f origin, osg::Vec2f size, int windowWidth, int windowHeight)
{
    return {scaled(origin.x(), windowWidth), scaled(origin.y(), windowHeight),
            scaled(size.x(), windowWidth), scaled(size.y(), windowHeight)};
}

unsigned int cullingModeFor(bool noClip)
{
    constexpr unsigned int withoutFrustum = osg::CullSettings::SMALL_FEATURE_CULLING |
                                            osg::CullSettings::SHADOW_OCCLUSION_CULLING |
                                            osg::CullSettings::CLUSTER_CULLING;
    return noClip ? withoutFrustum
                  : static_cast<unsigned int>(osg::CullSettings::ENABLE_ALL_CULLING);
}

LookAt usableLookAt(const osg::Vec3d& eye, const osg::Vec3d& centre, const osg::Vec3d& up)
{
    LookAt result{eye, centre, up, false};
    osg::Vec3d direction = centre - eye;
    if (!finite(eye) || !finite(centre) || !finite(up) || direction.length() <= 0.0)
        return result;
    direction.normalize();
    osg::Vec3d side = direction ^ up;
    if (side.length() < 1e-9 * std::max(1.0, up.length())) {
        const osg::Vec3d z(0.0, 0.0, 1.0);
        result.up = std::abs(direction * z) > 0.999 ? osg::Vec3d(0.0, 1.0, 0.0) : z;
    }
    result.valid = true;
    return result;
}

LookAt framingLookAt(const osg::Vec3d& centre, double radius, const osg::Vec3d& direction,
                     double fovyDegrees, double aspect)
{
    osg::Vec3d towardsEye = direction;
    if (!finite(towardsEye) || towardsEye.length() <= 0.0)
        towardsEye.set(1.0, -1.0, 1.0);
    towardsEye.normalize();
    if (!(radius > 0.0) || !std::isfinite(radius))
        radius = 1.0;
    if (!(fovyDegrees > 0.0 && fovyDegrees < 180.0))
        fovyDegrees = 30.0;
    if (!(aspect > 0.0) || !std::isfinite(aspect))
        aspect = 1.0;
    const double halfVertical = osg::DegreesToRadians(fovyDegrees) / 2.0;
    const double halfHorizontal = std::atan(std::tan(halfVertical) * aspect);
    const double half = std::min(halfVertical, halfHorizontal);
    // The sphere's outline is seen under asin(radius / distance).
    const double distance = radius / std::sin(FRAMED_SHARE * half);
    return usableLookAt(centre + towardsEye * distance, centre, osg::Vec3d(0.0, 0.0, 1.0));
}

} // namespace view
