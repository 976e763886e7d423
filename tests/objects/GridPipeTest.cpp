#include <gtest/gtest.h>

#include "objects/builders/Grid.h"
#include "objects/builders/Pipe.h"
#include "GeometryChecks.h"

#include <osg/LineWidth>

#include <algorithm>
#include <cmath>

using namespace geometry_checks;

namespace {

// Where the lines parallel to axis `along` (0: x, 1: y) cross the other
// axis, for the lines with both ends on the grid's edges (at ∓0.5), sorted.
std::vector<float> parallelLines(const Grid& grid, int along)
{
    const int across = 1 - along;
    const osg::Vec3Array& v = verticesOf(grid.geometry());
    std::vector<float> places;
    for (std::size_t i = 0; i + 1 < v.size(); i += 2)
        if (v[i][along] == -0.5f && v[i + 1][along] == 0.5f && v[i][across] == v[i + 1][across])
            places.push_back(v[i][across]);
    std::sort(places.begin(), places.end());
    return places;
}

std::vector<float> xParallelLines(const Grid& grid)
{
    return parallelLines(grid, 0);
}

std::vector<float> yParallelLines(const Grid& grid)
{
    return parallelLines(grid, 1);
}

void expectLines(const std::vector<float>& actual, const std::vector<float>& expected)
{
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_NEAR(actual[i], expected[i], 1e-6f) << i;
}

} // namespace

TEST(Grid, LinesAreCentredAndInsideTheEdge)
{
    osg::ref_ptr<Grid> grid = new Grid(1.f, 1.f, 0.3f);
    expectLines(xParallelLines(*grid), {-0.45f, -0.15f, 0.15f, 0.45f});
    expectLines(yParallelLines(*grid), {-0.45f, -0.15f, 0.15f, 0.45f});
    const osg::Geometry* g = grid->geometry();
    const auto* lines = static_cast<const osg::DrawElementsUInt*>(g->getPrimitiveSet(0));
    EXPECT_EQ(lines->getMode(), GLenum(GL_LINES));
    EXPECT_EQ(lines->size(), verticesOf(g).size());
    EXPECT_EQ(g->getStateSet()->getMode(GL_LIGHTING) & osg::StateAttribute::ON, 0u);
    const auto* width = dynamic_cast<const osg::LineWidth*>(
        g->getStateSet()->getAttribute(osg::StateAttribute::LINEWIDTH));
    ASSERT_NE(width, nullptr);
    EXPECT_EQ(width->getWidth(), 1.f);
}

TEST(Grid, SpacingIsRoundedToTwoDecimals)
{
    EXPECT_FLOAT_EQ(Grid::roundSpacing(0.123f), 0.12f);
    EXPECT_FLOAT_EQ(Grid::roundSpacing(0.125f), 0.13f);
    EXPECT_FLOAT_EQ(Grid::roundSpacing(0.3f), 0.3f);
    EXPECT_FLOAT_EQ(Grid::roundSpacing(0.004f), 0.f);
    // X = 1.2 in steps of 0.12: 11 lines 0.1 apart across the unit square.
    osg::ref_ptr<Grid> grid = new Grid(1.2f, 2.f, 0.123f);
    EXPECT_FLOAT_EQ(grid->spacing(), 0.12f);
    const std::vector<float> xs = yParallelLines(*grid);
    ASSERT_EQ(xs.size(), 11u);
    EXPECT_NEAR(xs.front(), -0.5f, 1e-6f);
    EXPECT_NEAR(xs[1] - xs[0], 0.1f, 1e-6f);
    // Y = 2: 16 spacings fit (1.92); scaled back, lines are 0.12 apart.
    const std::vector<float> ys = xParallelLines(*grid);
    ASSERT_EQ(ys.size(), 17u);
    EXPECT_NEAR((ys[1] - ys[0]) * 2.f, 0.12f, 1e-6f);
    EXPECT_NEAR(ys.back(), 0.48f, 1e-6f);
}

TEST(Grid, ExtentThatIsAMultipleOfTheSpacingKeepsItsEdgeLines)
{
    // 0.7 / 0.1 is just below 7 in binary floating point.
    osg::ref_ptr<Grid> grid = new Grid(0.7f, 0.7f, 0.1f);
    const std::vector<float> ys = xParallelLines(*grid);
    ASSERT_EQ(ys.size(), 8u);
    EXPECT_NEAR(ys.front(), -0.5f, 1e-5f);
    EXPECT_NEAR(ys.back(), 0.5f, 1e-5f);
}

TEST(Pipe, EndRatioOneKeepsTheWallConstant)
{
    osg::ref_ptr<Pipe> pipe = new Pipe(0.4f, 1.f);
    ASSERT_EQ(pipe->getNumDrawables(), 4u);
    const osg::Vec3Array& outer = verticesOf(pipe->surface(Pipe::OuterSurface));
    const osg::Vec3Array& inner = verticesOf(pipe->surface(Pipe::InnerSurface));
    ASSERT_EQ(outer.size(), 64u); // angles 0, 0.2, …, 6.2
    for (std::size_t i = 0; i < outer.size(); ++i) {
        ASSERT_NEAR(radiusXY(outer[i]), 0.5f, 1e-6f);
        ASSERT_NEAR(radiusXY(inner[i]), 0.2f, 1e-6f);
        ASSERT_EQ(outer[i].z(), i % 2 == 0 ? -0.5f : 0.5f);
        // Outer normals face out, inner ones into the bore. They are face
        // normals of the 0.2 rad step, so they lean half a step around.
        const osg::Vec3 radial = osg::Vec3(outer[i].x(), outer[i].y(), 0.f) / 0.5f;
        ASSERT_NEAR(normalsOf(pipe->surface(Pipe::OuterSurface))[i] * radial, std::cos(0.1f),
                    1e-5f);
        ASSERT_NEAR(normalsOf(pipe->surface(Pipe::InnerSurface))[i] * radial, -std::cos(0.1f),
                    1e-5f);
    }
    const auto* strip =
        static_cast<const osg::DrawElementsUInt*>(pipe->surface(Pipe::TopRing)->getPrimitiveSet(0));
    EXPECT_EQ(strip->getMode(), GLenum(GL_TRIANGLE_STRIP));
    ASSERT_EQ(strip->size(), 66u);
    EXPECT_EQ((*strip)[64], 0u);
}

TEST(Pipe, TaperedWallKeepsItsThickness)
{
    osg::ref_ptr<Pipe> pipe = new Pipe(0.5f, 0.6f);
    EXPECT_NEAR(pipe->outerTopRadius(), 0.3f, 1e-6f);
    EXPECT_NEAR(pipe->innerBottomRadius(), 0.25f, 1e-6f);
    EXPECT_NEAR(pipe->innerTopRadius(), 0.05f, 1e-6f);
    EXPECT_NEAR(pipe->outerBottomRadius() - pipe->innerBottomRadius(),
                pipe->outerTopRadius() - pipe->innerTopRadius(), 1e-6f);
    // A narrowing outer surface leans its normals towards +z.
    for (const osg::Vec3& n : normalsOf(pipe->surface(Pipe::OuterSurface)))
        ASSERT_GT(n.z(), 0.1f);
    // The top ring spans from the outer to the inner top circle, facing up.
    const osg::Vec3Array& top = verticesOf(pipe->surface(Pipe::TopRing));
    EXPECT_NEAR(radiusXY(top[0]), 0.3f, 1e-6f);
    EXPECT_NEAR(radiusXY(top[1]), 0.05f, 1e-6f);
    EXPECT_EQ(normalsOf(pipe->surface(Pipe::TopRing))[0], osg::Vec3(0.f, 0.f, 1.f));
}

TEST(Pipe, NoBoreGivesASolidFrustumAndTheBoreNeverGoesNegative)
{
    osg::ref_ptr<Pipe> solid = new Pipe(0.f, 0.5f);
    for (int s = 0; s < 4; ++s)
        for (const osg::Vec3& n : normalsOf(solid->surface(Pipe::Surface(s))))
            ASSERT_TRUE(finite(n) && std::fabs(n.length() - 1.f) < 1e-5f);
    for (const osg::Vec3& v : verticesOf(solid->surface(Pipe::InnerSurface)))
        ASSERT_EQ(radiusXY(v), 0.f);
    // The bore would close before the top: its top radius stops at 0.
    osg::ref_ptr<Pipe> closing = new Pipe(0.2f, 0.5f);
    EXPECT_EQ(closing->innerTopRadius(), 0.f);
    // An end ratio of 0 is clamped to a tiny but positive top.
    osg::ref_ptr<Pipe> pointed = new Pipe(0.f, 0.f);
    EXPECT_NEAR(pointed->outerTopRadius(), 0.000005f, 1e-9f);
}
