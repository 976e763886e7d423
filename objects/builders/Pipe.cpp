#include "objects/builders/Pipe.h"

#include "objects/builders/BuilderSupport.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>

namespace {

constexpr double kAngleStep = 0.2;

} // namespace

osg::Geometry* Pipe::surface(Surface which) const
{
    if (static_cast<unsigned>(which) >= getNumDrawables())
        return nullptr;
    return const_cast<osg::Geometry*>(getDrawable(which)->asGeometry());
}

Pipe::Pipe(float innerDiameter, float endRatio)
{
    if (!std::isfinite(innerDiameter) || !std::isfinite(endRatio)) {
        builder::reportRejected("Pipe", "inner diameter " + std::to_string(innerDiameter) +
                                            " and end ratio " + std::to_string(endRatio) +
                                            " build no pipe");
        return;
    }
    const double e = std::max(static_cast<double>(endRatio), 0.00001);
    const double d = innerDiameter;
    const double outerBottom = 0.5;
    const double outerTop = e / 2.0;
    const double innerBottom = d / 2.0;
    const double innerTop = std::max(d / 2.0 - (1.0 - e) / 2.0, 0.0);
    _outerTop = static_cast<float>(outerTop);
    _innerBottom = static_cast<float>(innerBottom);
    _innerTop = static_cast<float>(innerTop);

    const auto at = [](double radius, double angle, double z) {
        return osg::Vec3(static_cast<float>(radius * std::cos(angle)),
                         static_cast<float>(radius * std::sin(angle)), static_cast<float>(z));
    };
    std::array<builder::IndexedStrip, 4> strips;

    // Normal of a conical surface from its strip edges (up the surface and on
    // around it), facing away from the axis; `inward` turns it towards it.
    const auto coneNormal = [&](double bottom, double top, double angle, bool inward) {
        const osg::Vec3 lower = at(bottom, angle, -0.5);
        const osg::Vec3 rise = at(top, angle, 0.5) - lower;
        const osg::Vec3 around = at(bottom, angle + kAngleStep, -0.5) - lower;
        const osg::Vec3 radial = at(1.0, angle, 0.0);
        // A bottom circle of zero radius has no edge around it; the top one has.
        const osg::Vec3 aroundTop = at(top, angle + kAngleStep, 0.5) - at(top, angle, 0.5);
        const osg::Vec3 edge = around.length2() > aroundTop.length2() ? around : aroundTop;
        const osg::Vec3 outward = builder::safeNormal(edge ^ rise, radial);
        return inward ? -outward : outward;
    };

    // The angle runs 0, 0.2, ... while it is at most 2π.
    const int positions = static_cast<int>(std::floor(builder::kTwoPi / kAngleStep)) + 1;
    for (int i = 0; i < positions; ++i) {
        const double angle = i * kAngleStep;
        const osg::Vec3 outerLow = at(outerBottom, angle, -0.5);
        const osg::Vec3 outerHigh = at(outerTop, angle, 0.5);
        const osg::Vec3 innerLow = at(innerBottom, angle, -0.5);
        const osg::Vec3 innerHigh = at(innerTop, angle, 0.5);
        const osg::Vec3 outerNormal = coneNormal(outerBottom, outerTop, angle, false);
        const osg::Vec3 innerNormal = coneNormal(innerBottom, innerTop, angle, true);
        const osg::Vec3 down(0.f, 0.f, -1.f), up(0.f, 0.f, 1.f);
        strips[OuterSurface].add(outerLow, outerNormal, outerHigh, outerNormal);
        strips[InnerSurface].add(innerLow, innerNormal, innerHigh, innerNormal);
        strips[BottomRing].add(outerLow, down, innerLow, down);
        strips[TopRing].add(outerHigh, up, innerHigh, up);
    }
    for (builder::IndexedStrip& strip : strips)
        addDrawable(strip.close());
}
