#include <gtest/gtest.h>

#include "objects/builders/Beam.h"
#include "objects/builders/Gear.h"
#include "objects/builders/Grid.h"
#include "objects/builders/Pipe.h"
#include "objects/builders/Spring.h"
#include "objects/builders/Tubes.h"
#include "GeometryChecks.h"

#include <functional>
#include <limits>

using namespace geometry_checks;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
const osg::Vec4 kWhite(1.f, 1.f, 1.f, 1.f);

osg::ref_ptr<osg::Node> spring(float length, int windings, float coil, float wire)
{
    Spring::Parameters p;
    p.length = length;
    p.windings = windings;
    p.coilRadius = coil;
    p.wireRadius = wire;
    osg::ref_ptr<Spring> s = new Spring(p);
    s->stretch(3.f); // must be harmless on an empty spring too
    return s;
}

struct DegenerateCase
{
    const char* name;
    std::function<osg::ref_ptr<osg::Node>()> build;
    bool empty; // expect no vertices at all
};

void PrintTo(const DegenerateCase& c, std::ostream* os)
{
    *os << c.name;
}

class DegenerateInput : public ::testing::TestWithParam<DegenerateCase>
{
};

TEST_P(DegenerateInput, BuildsFiniteGeometryOrNothing)
{
    const DegenerateCase& c = GetParam();
    osg::ref_ptr<osg::Node> node = c.build();
    ASSERT_TRUE(node.valid());
    std::size_t vertices = 0;
    for (osg::Geometry* g : geometriesOf(*node)) {
        for (const osg::Vec3& v : verticesOf(g))
            ASSERT_TRUE(finite(v)) << c.name;
        if (g->getNormalArray()) {
            for (const osg::Vec3& n : normalsOf(g))
                ASSERT_TRUE(finite(n) && std::fabs(n.length() - 1.f) < 1e-4f) << c.name;
        }
        vertices += verticesOf(g).size();
    }
    EXPECT_EQ(vertices == 0, c.empty) << vertices;
}

INSTANTIATE_TEST_SUITE_P(
    Builders, DegenerateInput,
    ::testing::Values(
        DegenerateCase{"SpringZeroWindings", [] { return spring(1.f, 0, 0.5f, 0.1f); }, true},
        DegenerateCase{"SpringNegativeWindings", [] { return spring(1.f, -4, 0.5f, 0.1f); }, true},
        DegenerateCase{"SpringZeroLength", [] { return spring(0.f, 3, 0.5f, 0.1f); }, true},
        DegenerateCase{"SpringNegativeLength", [] { return spring(-2.f, 3, 0.5f, 0.1f); }, true},
        DegenerateCase{"SpringNaNRadius", [] { return spring(1.f, 3, kNaN, 0.1f); }, true},
        DegenerateCase{"SpringHugeWindings", [] { return spring(1.f, 2000000000, 0.5f, 0.1f); },
                       true},
        DegenerateCase{"SpringZeroRadii", [] { return spring(1.f, 2, 0.f, 0.f); }, false},
        DegenerateCase{"GearNoTeeth",
                       [] { return osg::ref_ptr<osg::Node>(new Gear(0, 1.f, 0.5f, 0.f)); }, true},
        DegenerateCase{
            "GearTooManyTeeth",
            [] { return osg::ref_ptr<osg::Node>(new Gear(-2000000000, 1.f, 0.5f, 0.f)); }, true},
        DegenerateCase{"GearNaNAngle",
                       [] { return osg::ref_ptr<osg::Node>(new Gear(12, 1.f, 0.5f, kNaN)); }, true},
        DegenerateCase{"GearRightAngle",
                       [] { return osg::ref_ptr<osg::Node>(new Gear(12, 1.f, 0.5f, 90.f)); },
                       false},
        DegenerateCase{"GearOneTooth",
                       [] { return osg::ref_ptr<osg::Node>(new Gear(1, 0.f, 0.f, 0.f)); }, false},
        DegenerateCase{"GridZeroSpacing",
                       [] { return osg::ref_ptr<osg::Node>(new Grid(1.f, 1.f, 0.f)); }, true},
        DegenerateCase{"GridSpacingRoundsToZero",
                       [] { return osg::ref_ptr<osg::Node>(new Grid(1.f, 1.f, 0.004f)); }, true},
        DegenerateCase{"GridNegativeSpacing",
                       [] { return osg::ref_ptr<osg::Node>(new Grid(1.f, 1.f, -0.5f)); }, true},
        DegenerateCase{"GridZeroExtents",
                       [] { return osg::ref_ptr<osg::Node>(new Grid(0.f, -1.f, 0.1f)); }, true},
        DegenerateCase{"GridHugeExtent",
                       [] { return osg::ref_ptr<osg::Node>(new Grid(1e30f, 1.f, 0.01f)); }, true},
        DegenerateCase{"GridInfiniteExtent",
                       [] { return osg::ref_ptr<osg::Node>(new Grid(kInf, kNaN, 0.1f)); }, true},
        DegenerateCase{"GridSpacingLargerThanExtent",
                       [] { return osg::ref_ptr<osg::Node>(new Grid(0.5f, 0.5f, 2.f)); }, false},
        DegenerateCase{"PipeZeroEverything",
                       [] { return osg::ref_ptr<osg::Node>(new Pipe(0.f, 0.f)); }, false},
        DegenerateCase{"PipeNegativeEndRatio",
                       [] { return osg::ref_ptr<osg::Node>(new Pipe(0.5f, -3.f)); }, false},
        DegenerateCase{"PipeNaN", [] { return osg::ref_ptr<osg::Node>(new Pipe(kNaN, 1.f)); },
                       true},
        DegenerateCase{"BeamZeroSize",
                       [] { return osg::ref_ptr<osg::Node>(new Beam(0.f, 0.f, 0.f)); }, false},
        DegenerateCase{"BeamNegativeLength",
                       [] { return osg::ref_ptr<osg::Node>(new Beam(-1.f, 0.5f, 0.5f)); }, false},
        DegenerateCase{"BeamInfinite",
                       [] { return osg::ref_ptr<osg::Node>(new Beam(kInf, 1.f, 1.f)); }, true},
        DegenerateCase{
            "StraightTubeZeroLengthAndRadii",
            [] { return osg::ref_ptr<osg::Node>(new StraightTube(0.f, 0.f, 0.f, kWhite)); }, false},
        DegenerateCase{
            "StraightTubePointedInlet",
            [] { return osg::ref_ptr<osg::Node>(new StraightTube(1.f, 0.f, 0.3f, kWhite)); },
            false},
        DegenerateCase{
            "StraightTubeNaN",
            [] { return osg::ref_ptr<osg::Node>(new StraightTube(kNaN, 1.f, 1.f, kWhite)); }, true},
        DegenerateCase{
            "CurvedTubeZeroAngle",
            [] { return osg::ref_ptr<osg::Node>(new CurvedTube(1.f, 0.f, 0.1f, 0.1f, kWhite)); },
            true},
        DegenerateCase{
            "CurvedTubeZeroBendRadius",
            [] { return osg::ref_ptr<osg::Node>(new CurvedTube(0.f, 1.f, 0.1f, 0.2f, kWhite)); },
            false},
        DegenerateCase{
            "CurvedTubeNegativeAngle",
            [] { return osg::ref_ptr<osg::Node>(new CurvedTube(1.f, -1.f, 0.1f, 0.2f, kWhite)); },
            false},
        DegenerateCase{
            "BezierTubeNoPoints",
            [] { return osg::ref_ptr<osg::Node>(new BezierTube(Bezier(), 0.1f, 0.1f, kWhite)); },
            false},
        DegenerateCase{"BezierTubeOnePoint",
                       [] {
                           return osg::ref_ptr<osg::Node>(
                               new BezierTube(Bezier({{1.f, 2.f, 3.f}}), 0.1f, 0.1f, kWhite));
                       },
                       false},
        DegenerateCase{
            "BezierTubeCoincidentInnerPoints",
            [] {
                return osg::ref_ptr<osg::Node>(new BezierTube(
                    Bezier({{0.f, 0.f, 0.f}, {0.f, 0.f, 0.f}, {1.f, 1.f, 0.f}, {1.f, 1.f, 0.f}}),
                    0.1f, 0.1f, kWhite));
            },
            false},
        DegenerateCase{"BezierTubeReversingCurve",
                       [] {
                           return osg::ref_ptr<osg::Node>(new BezierTube(
                               Bezier({{0.f, 0.f, 0.f}, {2.f, 0.f, 0.f}, {-1.f, 0.f, 0.f}}), 0.1f,
                               0.2f, kWhite));
                       },
                       false},
        DegenerateCase{"BezierTubeZeroEnd",
                       [] {
                           return osg::ref_ptr<osg::Node>(
                               new BezierTube(osg::Vec3(), osg::Vec3(), 0.f, 0.f, kWhite));
                       },
                       false}),
    [](const auto& row) { return row.param.name; });

} // namespace
