#include "objects/Pipe.h"

#include "objects/BuilderChecks.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>

namespace {

constexpr double kTwoPi = 6.283185307179586;
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
    struct Strip
    {
        osg::ref_ptr<osg::Vec3Array> vertices = new osg::Vec3Array;
        osg::ref_ptr<osg::Vec3Array> normals = new osg::Vec3Array;
        osg::ref_ptr<osg::DrawElementsUInt> indices =
            new osg::DrawElementsUInt(osg::PrimitiveSet::TRIANGLE_STRIP);
        void add(const osg::Vec3& a, const osg::Vec3& b, const osg::Vec3& normal)
        {
            indices->push_back(static_cast<GLuint>(vertices->size()));
            indices->push_back(static_cast<GLuint>(vertices->size() + 1));
            vertices->push_back(a);
            vertices->push_back(b);
            normals->push_back(normal);
            normals->push_back(normal);
        }
    };
    std::array<Strip, 4> strips;

    // Normal of a conical surface from its strip edges (up the surface and on
    // around it), facing away from the axis; `inward` turns it towards it.
    const auto coneNormal = [&](double bottom, double top, double angle, bool inward) {
        const osg::Vec3 lower = at(bottom, angle, -0.5);
        const osg::Vec3 up = at(top, angle, 0.5) - lower;
        const osg::Vec3 around = at(bottom, angle + kAngleStep, -0.5) - lower;
        const osg::Vec3 radial = at(1.0, angle, 0.0);
        // A bottom circle of zero radius has no edge around it; the top one has.
        const osg::Vec3 aroundTop = at(top, angle + kAngleStep, 0.5) - at(top, angle, 0.5);
        const osg::Vec3 edge = around.length2() > aroundTop.length2() ? around : aroundTop;
        const osg::Vec3 outward = builder::safeNormal(edge ^ up, radial);
        return inward ? -outward : outward;
    };

    // The angle runs 0, 0.2, ... while it is at most 2π.
    const int positions = static_cast<int>(std::floor(kTwoPi / kAngleStep)) + 1;
    for (int i = 0; i < positions; ++i) {
        const double angle = i * kAngleStep;
        const osg::Vec3 outerLow = at(outerBottom, angle, -0.5);
        const osg::Vec3 outerHigh = at(outerTop, angle, 0.5);
        const osg::Vec3 innerLow = at(innerBottom, angle, -0.5);
        const osg::Vec3 innerHigh = at(innerTop, angle, 0.5);
        strips[OuterSurface].add(outerLow, outerHigh,
                                 coneNormal(outerBottom, outerTop, angle, false));
        strips[InnerSurface].add(innerLow, innerHigh,
                                 coneNormal(innerBottom, innerTop, angle, true));
        strips[BottomRing].add(outerLow, innerLow, osg::Vec3(0.f, 0.f, -1.f));
        strips[TopRing].add(outerHigh, innerHigh, osg::Vec3(0.f, 0.f, 1.f));
    }
    for (Strip& strip : strips) {
        // Closed by repeating the first pair.
        strip.indices->push_back(0);
        strip.indices->push_back(1);
        osg::ref_ptr<osg::Geometry> geometry = new osg::Geometry;
        geometry->setVertexArray(strip.vertices.get());
        geometry->setNormalArray(strip.normals.get(), osg::Array::BIND_PER_VERTEX);
        geometry->addPrimitiveSet(strip.indices.get());
        addDrawable(geometry.get());
    }
}
