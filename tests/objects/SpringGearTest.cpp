#include <gtest/gtest.h>

#include "objects/builders/Gear.h"
#include "objects/builders/BuilderSupport.h"
#include "objects/builders/Spring.h"
#include "GeometryChecks.h"

#include <algorithm>
#include <cmath>

using namespace geometry_checks;

namespace {

Spring::Parameters springParameters()
{
    Spring::Parameters p;
    p.length = 2.f;
    p.coilRadius = 0.4f;
    p.windings = 3;
    p.wireRadius = 0.05f;
    return p;
}

// Centre of the wire for vertex `index` of a spring built with `p`.
osg::Vec3 wireCentre(const Spring::Parameters& p, std::size_t index)
{
    const std::size_t perStep = 2 * static_cast<std::size_t>(p.segmentsAroundWire + 1);
    const std::size_t step = index / perStep;
    const bool upper = index % 2 == 0;
    const double z =
        double(upper ? step + 1 : step) * p.length / (p.segmentsPerWinding * p.windings);
    const double theta = builder::kTwoPi * p.windings * z / p.length;
    return osg::Vec3(float(p.coilRadius * std::cos(theta)), float(p.coilRadius * std::sin(theta)),
                     float(z));
}

} // namespace

TEST(Spring, VerticesLieOnTheWireAroundTheHelix)
{
    const Spring::Parameters p = springParameters();
    osg::ref_ptr<Spring> spring = new Spring(p);
    ASSERT_EQ(spring->steps(), 75);
    const osg::Vec3Array& v = spring->vertices();
    ASSERT_EQ(v.size(), 75u * 22u);
    EXPECT_EQ(spring->geometry()->getPrimitiveSet(0)->getMode(), GLenum(GL_QUAD_STRIP));
    EXPECT_EQ(spring->geometry()->getPrimitiveSet(0)->getNumIndices(), v.size());
    EXPECT_TRUE(spring->geometry()->getUseVertexBufferObjects());
    for (std::size_t i = 0; i < v.size(); ++i) {
        const osg::Vec3 out = v[i] - wireCentre(p, i);
        ASSERT_NEAR(out.length(), p.wireRadius, 1e-5f) << i;
        // Face normals point away from the wire.
        ASSERT_GT(spring->normals()[i] * out / out.length(), 0.8f) << i;
        ASSERT_NEAR(spring->normals()[i].length(), 1.f, 1e-5f);
    }
    // Starts on the outside of the coil at z = 0 and ends there at z = L.
    EXPECT_NEAR((v[1] - osg::Vec3(0.45f, 0.f, 0.f)).length(), 0.f, 1e-6f);
    EXPECT_NEAR((v[v.size() - 22] - osg::Vec3(0.45f, 0.f, 2.f)).length(), 0.f, 1e-5f);
}

TEST(Spring, StretchShiftsEachStepAndStretchingBackRestoresTheBuild)
{
    osg::ref_ptr<Spring> spring = new Spring(springParameters());
    const osg::ref_ptr<osg::Vec3Array> built = new osg::Vec3Array(spring->vertices());
    spring->stretch(5.f);
    const osg::Vec3Array& v = spring->vertices();
    const float delta = 3.f / 75.f;
    for (std::size_t i = 0; i < v.size(); ++i) {
        const std::size_t step = i / 22;
        const float shift = float(i % 2 == 0 ? step + 1 : step) * delta;
        ASSERT_EQ(v[i].x(), (*built)[i].x());
        ASSERT_NEAR(v[i].z(), (*built)[i].z() + shift, 1e-5f) << i;
    }
    float builtTop = 0.f;
    for (const osg::Vec3& b : *built)
        builtTop = std::max(builtTop, b.z());
    EXPECT_NEAR(spring->geometry()->getBoundingBox().zMax(), builtTop + 3.f, 1e-5f);
    EXPECT_EQ(spring->parameters().length, 2.f);

    // Measured from the build each time, not from the previous stretch.
    spring->stretch(0.5f);
    spring->stretch(2.f);
    for (std::size_t i = 0; i < v.size(); ++i)
        ASSERT_EQ(v[i], (*built)[i]) << i;
}

TEST(Gear, ZeroAngleGivesVerticalFlanks)
{
    osg::ref_ptr<Gear> gear = new Gear(12, 0.3f, 0.4f, 0.f);
    ASSERT_EQ(gear->getNumDrawables(), 4u);
    const osg::Vec3Array& tooth = verticesOf(gear->surface(Gear::ToothSurface));
    ASSERT_EQ(tooth.size(), 2u * (8 * 12 + 1));
    for (std::size_t i = 0; i < tooth.size(); i += 2) {
        ASSERT_NEAR(tooth[i].x(), tooth[i + 1].x(), 1e-6f);
        ASSERT_NEAR(tooth[i].y(), tooth[i + 1].y(), 1e-6f);
        ASSERT_EQ(tooth[i].z(), -0.5f);
        ASSERT_EQ(tooth[i + 1].z(), 0.5f);
    }
}

TEST(Gear, PositiveAngleWidensTheBottomByTheTaper)
{
    const float thickness = 0.4f, degrees = 10.f;
    osg::ref_ptr<Gear> gear = new Gear(20, thickness, 0.5f, degrees);
    const float d = std::tan(degrees * 0.017453292f) * thickness;
    EXPECT_NEAR(gear->layout().taper, d, 1e-6f);
    EXPECT_NEAR(gear->layout().meanRadius, 0.5f - d / 2.f, 1e-6f);
    const osg::Vec3Array& tooth = verticesOf(gear->surface(Gear::ToothSurface));
    const osg::Vec3Array& top = verticesOf(gear->surface(Gear::TopFace));
    const osg::Vec3Array& bottom = verticesOf(gear->surface(Gear::BottomFace));
    for (std::size_t i = 0; i < tooth.size(); i += 2) {
        ASSERT_NEAR(radiusXY(tooth[i]) - radiusXY(tooth[i + 1]), d, 1e-5f) << i;
        ASSERT_EQ(top[i], tooth[i + 1]);
        ASSERT_EQ(bottom[i], tooth[i]);
    }
}

TEST(Gear, ToothProfileFollowsTheEightPointTable)
{
    osg::ref_ptr<Gear> gear = new Gear(10, 1.f, 0.5f, 0.f);
    const Gear::Layout& l = gear->layout();
    EXPECT_NEAR(l.pitch, builder::kTwoPi / 10, 1e-6);
    EXPECT_NEAR(l.toothHeight, l.pitch / 4, 1e-6);
    const float R = l.meanRadius, h = l.toothHeight;
    const float radii[8] = {R - h / 2, R - h / 2 + 0.1f * h, R + h / 2 - 0.1f * h, R + h / 2,
                            R + h / 2, R + h / 2 - 0.1f * h, R - h / 2 + 0.1f * h, R - h / 2};
    const float starts[8] = {0.f, 0.04f, 0.16f, 0.2f, 0.5f, 0.54f, 0.66f, 0.7f};
    const osg::Vec3Array& top = verticesOf(gear->surface(Gear::TopFace));
    for (int tooth : {0, 7}) {
        for (int j = 0; j < 8; ++j) {
            const osg::Vec3& v = top[2 * (8 * tooth + j)];
            EXPECT_NEAR(radiusXY(v), radii[j], 1e-6f) << j;
            // φ is measured from +y towards +x.
            const double phi =
                std::fmod(std::atan2(v.x(), v.y()) + builder::kTwoPi, builder::kTwoPi);
            EXPECT_NEAR(phi, (tooth + starts[j]) * l.pitch, 1e-5) << tooth << " " << j;
        }
    }
    // The walk ends at 2π, and every strip closes with its first pair.
    for (int s = 0; s < 4; ++s) {
        const auto* indices = static_cast<const osg::DrawElementsUInt*>(
            gear->surface(Gear::Surface(s))->getPrimitiveSet(0));
        ASSERT_EQ(indices->getMode(), GLenum(GL_TRIANGLE_STRIP));
        ASSERT_EQ(indices->size(), 2u * 81 + 2);
        EXPECT_EQ((*indices)[161], 161u);
        EXPECT_EQ((*indices)[162], 0u);
        EXPECT_EQ((*indices)[163], 1u);
    }
    EXPECT_NEAR(top[160].x(), 0.f, 1e-6f);
}

struct RingCase
{
    const char* name;
    int teeth;
    float k;
    double expectedRing; // in terms of the tooth height h when `clamped`
    bool clamped;
};

void PrintTo(const RingCase& c, std::ostream* os)
{
    *os << c.name;
}

class GearRing : public ::testing::TestWithParam<RingCase>
{
};

TEST_P(GearRing, RingRadiusAndSide)
{
    const RingCase& c = GetParam();
    osg::ref_ptr<Gear> gear = new Gear(c.teeth, 0.2f, c.k, 0.f);
    const float h = gear->layout().toothHeight;
    const bool internal = c.teeth < 0;
    const double expected = c.clamped ? 0.5 + (internal ? h : -h) : c.expectedRing;
    EXPECT_NEAR(gear->layout().ringRadius, expected, 1e-6);
    const osg::Vec3Array& ring = verticesOf(gear->surface(Gear::RingSurface));
    const osg::Vec3Array& ringNormals = normalsOf(gear->surface(Gear::RingSurface));
    const osg::Vec3Array& tooth = verticesOf(gear->surface(Gear::ToothSurface));
    float toothMin = 10.f, toothMax = 0.f;
    for (const osg::Vec3& v : tooth) {
        toothMin = std::min(toothMin, radiusXY(v));
        toothMax = std::max(toothMax, radiusXY(v));
    }
    for (std::size_t i = 0; i < ring.size(); ++i) {
        ASSERT_NEAR(radiusXY(ring[i]), expected, 1e-5);
        // The ring faces away from the teeth.
        const osg::Vec3 radial(ring[i].x(), ring[i].y(), 0.f);
        ASSERT_EQ(ringNormals[i] * radial > 0.f, internal) << i;
    }
    if (internal)
        EXPECT_GE(gear->layout().ringRadius, toothMax);
    else
        EXPECT_LE(gear->layout().ringRadius, toothMin);
}

INSTANTIATE_TEST_SUITE_P(
    Gear, GearRing,
    ::testing::Values(RingCase{"ExternalFarRing", 12, 0.6f, 0.2, false},
                      RingCase{"InternalRingOutside", -12, 0.6f, 0.8, false},
                      RingCase{"ExternalRingTooCloseIsPushedIn", 12, 0.1f, 0.0, true},
                      RingCase{"InternalRingTooCloseIsPushedOut", -12, 0.05f, 0.0, true},
                      RingCase{"ManyTeethSmallTeeth", 200, 0.1f, 0.45, false}),
    [](const auto& row) { return row.param.name; });

TEST(Gear, InternalTeethFaceInwards)
{
    osg::ref_ptr<Gear> outer = new Gear(12, 0.2f, 0.4f, 5.f);
    osg::ref_ptr<Gear> inner = new Gear(-12, 0.2f, 0.4f, 5.f);
    // Taper is negated for internal gears: the bottom opens towards the centre.
    EXPECT_NEAR(inner->layout().taper, -outer->layout().taper, 1e-7f);
    // Profile point 3 is the tip land (largest radius); its normal is radial.
    for (const auto& [gear, sign] : {std::pair{outer, 1.f}, std::pair{inner, -1.f}}) {
        const osg::Vec3Array& v = verticesOf(gear->surface(Gear::ToothSurface));
        const osg::Vec3Array& n = normalsOf(gear->surface(Gear::ToothSurface));
        for (int tooth = 0; tooth < 12; ++tooth) {
            const std::size_t i = 2 * (8 * tooth + 3);
            const osg::Vec3 radial = osg::Vec3(v[i].x(), v[i].y(), 0.f) / radiusXY(v[i]);
            EXPECT_GT(sign * (n[i] * radial), 0.9f) << tooth;
        }
    }
}
