#include "objects/builders/Gear.h"

#include "objects/builders/BuilderSupport.h"

#include <array>
#include <cmath>
#include <cstdlib>
#include <string>

namespace {

struct ProfilePoint
{
    double radiusOffset; // in tooth heights, from R
    double stepAfter;    // in pitches
};

// One tooth: radius (as R + offset·h) of each of the 8 profile points and the
// angular step that follows it. The steps add up to one pitch.
constexpr std::array<ProfilePoint, 8> kProfile = {{
    {-0.5, 0.04},
    {-0.5 + 0.1, 0.12},
    {0.5 - 0.1, 0.04},
    {0.5, 0.3},
    {0.5, 0.04},
    {0.5 - 0.1, 0.12},
    {-0.5 + 0.1, 0.04},
    {-0.5, 0.3},
}};

// Angle of profile point j within its tooth, in pitches.
constexpr std::array<double, 8> profileStarts()
{
    std::array<double, 8> starts{};
    double sum = 0.0;
    for (std::size_t j = 0; j < kProfile.size(); ++j) {
        starts[j] = sum;
        sum += kProfile[j].stepAfter;
    }
    return starts;
}
constexpr std::array<double, 8> kProfileStart = profileStarts();

} // namespace

Gear::Gear(int teeth, float thickness, float ringParameter, float angleDegrees)
{
    build(teeth, thickness, ringParameter, angleDegrees);
}

osg::Geometry* Gear::surface(Surface which) const
{
    if (static_cast<unsigned>(which) >= getNumDrawables())
        return nullptr;
    return const_cast<osg::Geometry*>(getDrawable(which)->asGeometry());
}

void Gear::build(int teeth, float thickness, float ringParameter, float angleDegrees)
{
    if (teeth == 0 || !std::isfinite(thickness) || !std::isfinite(ringParameter) ||
        !std::isfinite(angleDegrees)) {
        builder::reportRejected("Gear", "tooth count " + std::to_string(teeth) + ", thickness " +
                                            std::to_string(thickness) + ", ring parameter " +
                                            std::to_string(ringParameter) + " and angle " +
                                            std::to_string(angleDegrees) + " build no gear");
        return;
    }
    const bool internal = teeth < 0;
    const long count = std::labs(static_cast<long>(teeth));
    // Eight profile points per tooth, the point at 2π, two vertices each, four surfaces.
    const double vertexCount = (8.0 * static_cast<double>(count) + 1.0) * 2.0 * 4.0;
    if (vertexCount > static_cast<double>(builder::kMaxVertices)) {
        builder::reportRejected("Gear", std::to_string(teeth) +
                                            " teeth are more than the limit of " +
                                            std::to_string(builder::kMaxVertices / 64));
        return;
    }

    const double pitch = builder::kTwoPi / static_cast<double>(count);
    const double h = pitch / 4.0;
    double d = std::tan(static_cast<double>(angleDegrees) * 0.017453292) * thickness;
    if (internal)
        d = -d;
    const double meanRadius = 0.5 - d / 2.0;
    double c = internal ? (1.0 + ringParameter) / 2.0 : (1.0 - ringParameter) / 2.0;
    if (std::fabs(0.5 - c) <= h)
        c = internal ? 0.5 + h : 0.5 - h;
    if (!std::isfinite(d) || !std::isfinite(c)) {
        builder::reportRejected("Gear", "angle " + std::to_string(angleDegrees) +
                                            " degrees gives no finite taper");
        return;
    }
    _layout = {static_cast<float>(pitch), static_cast<float>(h), static_cast<float>(d),
               static_cast<float>(meanRadius), static_cast<float>(c)};

    // Profile point i: its angle and radius. Indices past the last tooth wrap
    // around, so the point after the one at 2π is the second point again.
    const long pointsPerTurn = 8 * count;
    const auto angleOf = [&](long i) {
        const long wrapped = i % pointsPerTurn;
        const double turns = static_cast<double>(i / pointsPerTurn) * builder::kTwoPi;
        return turns + (static_cast<double>(wrapped / 8) + kProfileStart[wrapped % 8]) * pitch;
    };
    const auto radiusOf = [&](long i) { return meanRadius + kProfile[i % 8].radiusOffset * h; };
    const auto at = [](double radius, double phi, double z) {
        return osg::Vec3(static_cast<float>(radius * std::sin(phi)),
                         static_cast<float>(radius * std::cos(phi)), static_cast<float>(z));
    };

    std::array<builder::IndexedStrip, 4> strips;

    // The walk from φ = 0 while φ ≤ 2π: 8 points per tooth and the point at 2π.
    _profilePoints = static_cast<int>(pointsPerTurn + 1);
    for (long i = 0; i <= pointsPerTurn; ++i) {
        const double phi = i == pointsPerTurn ? builder::kTwoPi : angleOf(i);
        const double r = radiusOf(i);
        const osg::Vec3 toothBottom = at(r + d, phi, -0.5);
        const osg::Vec3 toothTop = at(r, phi, 0.5);
        const osg::Vec3 ringBottom = at(c, phi, -0.5);
        const osg::Vec3 ringTop = at(c, phi, 0.5);

        // Strip edges: up the flank and on to the next profile point.
        const osg::Vec3 nextBottom = at(radiusOf(i + 1) + d, angleOf(i + 1), -0.5);
        const osg::Vec3 outward(static_cast<float>(std::sin(phi)),
                                static_cast<float>(std::cos(phi)), 0.f);
        osg::Vec3 toothNormal =
            builder::safeNormal((toothTop - toothBottom) ^ (nextBottom - toothBottom), outward);
        if (internal)
            toothNormal = -toothNormal;
        const osg::Vec3 ringNormal = internal ? outward : -outward;

        strips[ToothSurface].add(toothBottom, toothNormal, toothTop, toothNormal);
        strips[RingSurface].add(ringBottom, ringNormal, ringTop, ringNormal);
        strips[TopFace].add(toothTop, osg::Vec3(0.f, 0.f, 1.f), ringTop, osg::Vec3(0.f, 0.f, 1.f));
        strips[BottomFace].add(toothBottom, osg::Vec3(0.f, 0.f, -1.f), ringBottom,
                               osg::Vec3(0.f, 0.f, -1.f));
    }
    for (const builder::IndexedStrip& strip : strips) {
        if (!builder::allFinite(strip.vertices())) {
            builder::reportRejected("Gear", "ring parameter " + std::to_string(ringParameter) +
                                                " gives no finite gear");
            return;
        }
    }
    for (builder::IndexedStrip& strip : strips)
        addDrawable(strip.close());
}
