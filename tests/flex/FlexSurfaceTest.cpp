// The flexible surface: the grid it builds, its normals and colours, the
// object built and updated from packets, and the packets it rejects.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include <osg/LightModel>
#include <osg/Material>

#include "flex/FlexibleSurface.h"
#include "flex/VisFlexSurfaceObject.h"
#include "scene/ObjectKinds.h"
#include "tests/support/Packets.h"

namespace {

using testsupport::Items;
using Surface = VisFlexSurfaceObject;

const testsupport::Address SURFACE{5, TYPE_VisFlexSurfaceObject, 3};

// A rows x columns grid in the xy plane, spacing `dx` along a row (c) and
// `dy` between rows (r), with z = height(r, c).
struct Grid
{
    int rows, columns;
    std::vector<float> x, y, z;

    Grid(
        int r, int c, float dx = 1.0f, float dy = 1.0f,
        float (*height)(int, int) = [](int, int) { return 0.0f; })
        : rows(r), columns(c)
    {
        for (int i = 0; i < r; ++i)
            for (int j = 0; j < c; ++j) {
                x.push_back(float(j) * dx);
                y.push_back(float(i) * dy);
                z.push_back(height(i, j));
            }
    }
    osg::ref_ptr<FlexibleSurface> surface(bool twoSided = false,
                                          const std::string& texture = "") const
    {
        return new FlexibleSurface(rows, columns, x.data(), y.data(), z.data(), twoSided, texture);
    }
    Items items() const
    {
        Items items;
        items.ints[item::flex_surface::Rows] = {rows};
        items.ints[item::flex_surface::Columns] = {columns};
        items.floats[item::flex_surface::X] = x;
        items.floats[item::flex_surface::Y] = y;
        items.floats[item::flex_surface::Z] = z;
        return items;
    }
};

void expectNear(const osg::Vec3& actual, const osg::Vec3& expected)
{
    EXPECT_NEAR(actual.x(), expected.x(), 1e-5f);
    EXPECT_NEAR(actual.y(), expected.y(), 1e-5f);
    EXPECT_NEAR(actual.z(), expected.z(), 1e-5f);
}

TEST(FlexibleSurface, PackedColoursUnpackPerComponent)
{
    EXPECT_EQ(FlexibleSurface::unpackColor(255255255), osg::Vec4(1, 1, 1, 1));
    EXPECT_EQ(FlexibleSurface::unpackColor(255000000), osg::Vec4(1, 0, 0, 1));
    EXPECT_EQ(FlexibleSurface::unpackColor(255), osg::Vec4(0, 0, 1, 1));
    const osg::Vec4 mixed = FlexibleSurface::unpackColor(51102204);
    EXPECT_FLOAT_EQ(mixed.r(), 51.0f / 255.0f);
    EXPECT_FLOAT_EQ(mixed.g(), 102.0f / 255.0f);
    EXPECT_FLOAT_EQ(mixed.b(), 204.0f / 255.0f);
    // Components past 255 and negative values stay in range.
    EXPECT_EQ(FlexibleSurface::unpackColor(999999999), osg::Vec4(1, 1, 1, 1));
    EXPECT_EQ(FlexibleSurface::unpackColor(-5), osg::Vec4(0, 0, 0, 1));
}

TEST(FlexibleSurface, TwoByTwoIsOneQuadWithEqualNormals)
{
    // A parallelogram: every vertex gets the same d x g.
    const std::vector<float> x{0, 2, 1, 3}, y{0, 0, 1, 1}, z{0, 0, 0.5f, 0.5f};
    osg::ref_ptr<FlexibleSurface> surface =
        new FlexibleSurface(2, 2, x.data(), y.data(), z.data(), false, "");
    const osg::Vec3 d(1, 1, 0.5f), g(2, 0, 0);
    for (const osg::Vec3& n : surface->normals())
        expectNear(n, d ^ g);
    ASSERT_EQ(surface->geometry()->getNumPrimitiveSets(), 1u);
    const auto* strip =
        dynamic_cast<const osg::DrawElementsUInt*>(surface->geometry()->getPrimitiveSet(0));
    ASSERT_NE(strip, nullptr);
    EXPECT_EQ(strip->getMode(), GLenum(osg::PrimitiveSet::QUAD_STRIP));
    EXPECT_EQ(std::vector<unsigned>(strip->begin(), strip->end()),
              (std::vector<unsigned>{0, 2, 1, 3}));
    EXPECT_TRUE(surface->geometry()->getUseVertexBufferObjects());
    for (const osg::Vec4& colour : surface->colors())
        EXPECT_EQ(colour, osg::Vec4(1, 1, 1, 1));
}

TEST(FlexibleSurface, StripsPerRowPairAndNormalsTakenBackwardsAtTheEdges)
{
    // z = r^2 + c^3: the normals differ between forward and backward steps.
    const Grid grid(3, 4, 1.0f, 1.0f, [](int r, int c) { return float(r * r + c * c * c); });
    osg::ref_ptr<FlexibleSurface> surface = grid.surface();
    ASSERT_EQ(surface->geometry()->getNumPrimitiveSets(), 2u);
    const auto* second =
        static_cast<const osg::DrawElementsUInt*>(surface->geometry()->getPrimitiveSet(1));
    EXPECT_EQ(std::vector<unsigned>(second->begin(), second->end()),
              (std::vector<unsigned>{4, 8, 5, 9, 5, 9, 6, 10, 6, 10, 7, 11}));

    const osg::Vec3Array& p = surface->vertices();
    const auto at = [&](int r, int c) { return p[std::size_t(r * 4 + c)]; };
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c) {
            const osg::Vec3 d = r < 2 ? at(r + 1, c) - at(r, c) : at(r, c) - at(r - 1, c);
            const osg::Vec3 g = c < 3 ? at(r, c + 1) - at(r, c) : at(r, c) - at(r, c - 1);
            SCOPED_TRACE(testing::Message() << "r " << r << " c " << c);
            expectNear(surface->normals()[std::size_t(r * 4 + c)], d ^ g);
        }
    const osg::ref_ptr<FlexibleSurface> flat = Grid(2, 3).surface();
    for (const osg::Vec3& n : flat->normals())
        EXPECT_LT(n.z(), 0.0f) << "d x g with d along +y and g along +x points down";
}

TEST(FlexibleSurface, MissingArraysLeaveItEmptyAndTexturesNeedAFile)
{
    const std::vector<float> values(4, 0.0f);
    osg::ref_ptr<FlexibleSurface> broken =
        new FlexibleSurface(2, 2, values.data(), nullptr, values.data(), false, "");
    EXPECT_EQ(broken->getNumDrawables(), 0u);
    broken->setVertices(values.data(), values.data(), values.data()); // must not crash
    // A single row has no column direction: positions, zero normals.
    osg::ref_ptr<FlexibleSurface> row =
        new FlexibleSurface(1, 4, values.data(), values.data(), values.data(), false, "");
    EXPECT_EQ(row->normals()[3], osg::Vec3());

    const Grid grid(2, 3);
    EXPECT_FALSE(grid.surface(false, " ")->hasTexture());
    EXPECT_FALSE(grid.surface(false, "")->hasTexture());
    EXPECT_FALSE(grid.surface(false, "no-such-texture-anywhere.png")->hasTexture());
    osg::ref_ptr<FlexibleSurface> twoSided = grid.surface(true);
    const osg::StateSet* stateSet = twoSided->geometry()->getStateSet();
    ASSERT_NE(stateSet, nullptr);
    const auto* model = dynamic_cast<const osg::LightModel*>(
        stateSet->getAttribute(osg::StateAttribute::LIGHTMODEL));
    ASSERT_NE(model, nullptr);
    EXPECT_TRUE(model->getTwoSided());
    EXPECT_EQ(grid.surface(false)->geometry()->getStateSet(), nullptr);
}

class FlexSurface : public ::testing::Test
{
protected:
    osg::ref_ptr<Surface> create(const Items& items)
    {
        osg::ref_ptr<Surface> object = new Surface(ObjectContext{});
        testsupport::deliver(*object, items, true, SURFACE);
        return object;
    }
};

TEST_F(FlexSurface, EveryUpdateRewritesTheGridAndTheTransformItemsApply)
{
    Grid grid(3, 3);
    Items items = grid.items();
    items.floats[item::flex_surface::Position] = {1, 2, 3};
    osg::ref_ptr<Surface> surface = create(items);
    ASSERT_TRUE(surface->isInitialized());
    ASSERT_NE(surface->surface(), nullptr);
    EXPECT_EQ(surface->getTransform()->getChild(0), surface->surface());
    EXPECT_EQ(surface->getTranslation().getTrans(), osg::Vec3d(1, 2, 3));
    EXPECT_EQ(surface->getDataVariance(), osg::Object::DYNAMIC);

    // A wave: only z changes, the size items are not sent again.
    Items wave;
    wave.floats[item::flex_surface::Z] = std::vector<float>(9, 0.0f);
    wave.floats[item::flex_surface::Z][4] = 2.0f;
    testsupport::send(*surface, wave, SURFACE);
    EXPECT_EQ(surface->surface()->vertices()[4], osg::Vec3(1, 1, 2));
    // The centre's raised: the normal at (0, 1) is (0, 1, 2) x (1, 0, 0).
    expectNear(surface->surface()->normals()[1], osg::Vec3(0, 2, -1));
}

TEST_F(FlexSurface, ColourModeSwitchesAtTheNextUpdate)
{
    Grid grid(2, 2);
    Items items = grid.items();
    items.ints[item::flex_surface::ColourMode] = {0};
    items.ints[item::flex_surface::VertexColours] = {255000000, 255000, 255, 255255255};
    items.ints[item::flex_surface::Colour] = {0, 255, 0};
    osg::ref_ptr<Surface> surface = create(items);
    // Mode 0: the vertices stay white, the material is the common colour.
    EXPECT_EQ(surface->surface()->colors()[0], osg::Vec4(1, 1, 1, 1));
    const auto material = [&] {
        return dynamic_cast<const osg::Material*>(
            surface->surface()->geometry()->getStateSet()->getAttribute(
                osg::StateAttribute::MATERIAL));
    };
    ASSERT_NE(material(), nullptr);
    EXPECT_EQ(material()->getDiffuse(osg::Material::FRONT), osg::Vec4(0, 1, 0, 1));
    EXPECT_EQ(material()->getColorMode(), osg::Material::OFF);

    Items colourMode;
    colourMode.ints[item::flex_surface::ColourMode] = {1};
    testsupport::send(*surface, colourMode, SURFACE);
    EXPECT_EQ(surface->surface()->colors()[0], osg::Vec4(1, 0, 0, 1));
    EXPECT_EQ(surface->surface()->colors()[1], osg::Vec4(0, 1, 0, 1));
    EXPECT_EQ(surface->surface()->colors()[2], osg::Vec4(0, 0, 1, 1));
    EXPECT_EQ(material()->getColorMode(), osg::Material::AMBIENT_AND_DIFFUSE);

    // Back to 0: the vertex colours stay until the common colour changes.
    Items uniform;
    uniform.ints[item::flex_surface::ColourMode] = {0};
    testsupport::send(*surface, uniform, SURFACE);
    EXPECT_EQ(surface->surface()->colors()[0], osg::Vec4(1, 0, 0, 1));
    EXPECT_EQ(material()->getColorMode(), osg::Material::AMBIENT_AND_DIFFUSE);
    Items recoloured;
    recoloured.ints[item::flex_surface::Colour] = {0, 0, 255};
    testsupport::send(*surface, recoloured, SURFACE);
    EXPECT_EQ(material()->getColorMode(), osg::Material::OFF);
    EXPECT_EQ(material()->getDiffuse(osg::Material::FRONT), osg::Vec4(0, 0, 1, 1));
}

TEST_F(FlexSurface, SmallGridsAndShortItemsAreRejectedAndBadUpdatesSkipped)
{
    for (const auto& [rows, columns] : {std::pair{1, 4}, std::pair{4, 1}, std::pair{0, 0}}) {
        Items items = Grid(2, 2).items();
        items.ints[item::flex_surface::Rows] = {rows};
        items.ints[item::flex_surface::Columns] = {columns};
        testing::internal::CaptureStdout();
        osg::ref_ptr<Surface> surface = create(items);
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_FALSE(surface->isInitialized()) << rows << " x " << columns;
        EXPECT_NE(out.find("VisFlexSurfaceObject"), std::string::npos) << out;
        EXPECT_NE(out.find("ErrorNr: "), std::string::npos) << out;
    }
    Items shortZ = Grid(3, 3).items();
    shortZ.floats[item::flex_surface::Z].pop_back();
    testing::internal::CaptureStdout();
    EXPECT_FALSE(create(shortZ)->isInitialized());
    EXPECT_NE(testing::internal::GetCapturedStdout().find("ErrorNr: 72"), std::string::npos);

    // A built surface: a short colour item in colour mode is reported and
    // the shape is kept; the next good packet applies.
    osg::ref_ptr<Surface> surface = create(Grid(2, 2).items());
    Items bad;
    bad.ints[item::flex_surface::ColourMode] = {1};
    bad.ints[item::flex_surface::VertexColours] = {255};
    bad.floats[item::flex_surface::Z] = {5, 5, 5, 5};
    testing::internal::CaptureStdout();
    EXPECT_NO_THROW(testsupport::send(*surface, bad, SURFACE));
    EXPECT_NE(testing::internal::GetCapturedStdout().find("ErrorNr: 73"), std::string::npos);
    EXPECT_EQ(surface->surface()->vertices()[0].z(), 0.0f);
    Items good;
    good.ints[item::flex_surface::VertexColours] = {255, 255, 255, 255};
    testsupport::send(*surface, good, SURFACE);
    EXPECT_EQ(surface->surface()->vertices()[0].z(), 5.0f);
    EXPECT_EQ(surface->surface()->colors()[3], osg::Vec4(0, 0, 1, 1));
}

} // namespace
