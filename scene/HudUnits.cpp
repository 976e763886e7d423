#include "scene/HudUnits.h"

namespace hud {

HudExtent hudExtent(int aspectMode, int width, int height)
{
    if (width <= 0 || height <= 0)
        return {};
    const double aspect = double(width) / double(height);
    if (aspectMode == 2)
        aspectMode = aspect >= 1.0 ? 0 : 1;
    switch (aspectMode) {
    case 0:
        return {1000.0 * aspect, 1000.0};
    case 1:
        return {1000.0, 1000.0 / aspect};
    default:
        return {};
    }
}

osg::Matrixd hudProjection(int aspectMode, int width, int height)
{
    const HudExtent extent = hudExtent(aspectMode, width, height);
    return osg::Matrixd::ortho(0.0, extent.right, 0.0, extent.top, 0.0, 100.0);
}

osg::Vec2d hudPointer(int aspectMode, double dx, double dy, double width, double height)
{
    if (!(width > 0.0) || !(height > 0.0))
        return {0.0, 0.0};
    if (aspectMode == 2)
        aspectMode = width >= height ? 0 : 1;
    switch (aspectMode) {
    case 0:
        return {dx * 1000.0 / height, dy * 1000.0 / height};
    case 1:
        return {dx * 1000.0 / width, dy * 1000.0 / width};
    default:
        return {dx * 1000.0 / width, dy * 1000.0 / height};
    }
}

} // namespace hud
