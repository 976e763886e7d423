// The primitive shape object without a window: what each kind builds from
// its items, how updates act on it, and how incomplete packets fail.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>

#include <osg/Geode>
#include <osg/Shape>
#include <osg/ShapeDrawable>

#include "objects/builders/Beam.h"
#include "objects/builders/Gear.h"
#include "objects/builders/Grid.h"
#include "objects/builders/Pipe.h"
#include "objects/builders/Spring.h"
#include "ShapeTestSupport.h"

using namespace shapetest;

namespace {

constexpr int KIND = item::shape::ShapeKind;
constexpr int PARAMETERS = item::shape::Parameters;

// Complete items for each kind: scale/dimensions (2, 1, 0.5) where the kind
// reads item 4, and the shape parameters it reads.
Items completeItems(int kind)
{
    Items items;
    items.ints[KIND] = {kind};
    items.floats[item::shape::Scale] = {2.f, 1.f, 0.5f};
    items.floats[PARAMETERS] = {4.f, 0.05f, 10.f};
    if (kind == VisBaseObject::KIND_GEAR)
        items.floats[PARAMETERS] = {0.2f, 16.f, 10.f};
    if (kind == VisBaseObject::KIND_PIPE)
        items.floats[PARAMETERS] = {0.f, 0.6f, 0.5f};
    if (kind == VisBaseObject::KIND_GRID)
        items.floats[PARAMETERS] = {0.25f};
    return items;
}

bool isIdentity(const osg::Matrixd& m)
{
    return m == osg::Matrixd::identity();
}

// ---------------------------------------------------------------------------
// Unit solids: one geode, one shape drawable of the right shape, sized by
// the scale alone.

struct SolidCase
{
    const char* name;
    int kind;
    osg::Vec3 scale;
    osg::Vec3 min, max; // expected extent of the placed vertices
    std::function<bool(const osg::Shape*)> isRightShape;
};

class UnitSolids : public testing::TestWithParam<SolidCase>
{
};

TEST_P(UnitSolids, BuildOneUnitShapeSizedByTheScale)
{
    const SolidCase& c = GetParam();
    Items items;
    items.ints[KIND] = {c.kind};
    items.floats[item::shape::Scale] = {c.scale.x(), c.scale.y(), c.scale.z()};
    osg::ref_ptr<VisBaseObject> object = create(items);

    ASSERT_TRUE(object->isInitialized());
    ASSERT_EQ(object->getTransform()->getNumChildren(), 1u);
    auto* geode = dynamic_cast<osg::Geode*>(object->shape());
    ASSERT_NE(geode, nullptr);
    EXPECT_EQ(geode->getDataVariance(), osg::Object::DYNAMIC);
    ASSERT_EQ(geode->getNumDrawables(), 1u);
    auto* drawable = dynamic_cast<osg::ShapeDrawable*>(geode->getDrawable(0));
    ASSERT_NE(drawable, nullptr);
    EXPECT_TRUE(c.isRightShape(drawable->getShape()));
    EXPECT_EQ(drawable->getTessellationHints(), nullptr);

    const osg::BoundingBox box = placedBounds(*object);
    for (int axis = 0; axis < 3; ++axis) {
        EXPECT_NEAR(box._min[axis], c.min[axis], 1e-4) << "axis " << axis;
        EXPECT_NEAR(box._max[axis], c.max[axis], 1e-4) << "axis " << axis;
    }
}

template <typename T>
std::function<bool(const osg::Shape*)> shapeIs(std::function<bool(const T&)> ok)
{
    return [ok](const osg::Shape* shape) {
        const T* typed = dynamic_cast<const T*>(shape);
        return typed && typed->getCenter() == osg::Vec3() && ok(*typed);
    };
}

INSTANTIATE_TEST_SUITE_P(
    Kinds1To5, UnitSolids,
    testing::Values(SolidCase{"BoxEdgesFollowTheScale",
                              1,
                              {2.f, 1.f, 0.5f},
                              {-1.f, -0.5f, -0.25f},
                              {1.f, 0.5f, 0.25f},
                              shapeIs<osg::Box>([](const osg::Box& b) {
                                  return b.getHalfLengths() == osg::Vec3(0.5f, 0.5f, 0.5f);
                              })},
                    SolidCase{"SphereOfRadiusHalf",
                              2,
                              {1.f, 1.f, 1.f},
                              {-0.5f, -0.5f, -0.5f},
                              {0.5f, 0.5f, 0.5f},
                              shapeIs<osg::Sphere>([](const osg::Sphere& s) {
                                  return s.getRadius() == 0.5f;
                              })},
                    SolidCase{"CylinderAlongZ",
                              3,
                              {1.f, 1.f, 3.f},
                              {-0.5f, -0.5f, -1.5f},
                              {0.5f, 0.5f, 1.5f},
                              shapeIs<osg::Cylinder>([](const osg::Cylinder& s) {
                                  return s.getRadius() == 0.5f && s.getHeight() == 1.f;
                              })},
                    // The library's cone puts its base a quarter of the height below
                    // its centre parameter.
                    SolidCase{"ConeBaseAQuarterBelowTheOrigin",
                              4,
                              {1.f, 1.f, 1.f},
                              {-0.5f, -0.5f, -0.25f},
                              {0.5f, 0.5f, 0.75f},
                              shapeIs<osg::Cone>([](const osg::Cone& s) {
                                  return s.getRadius() == 0.5f && s.getHeight() == 1.f;
                              })},
                    // Height 1 is the cylindrical part; the caps add a radius each end.
                    SolidCase{"CapsuleAlongZ",
                              5,
                              {1.f, 1.f, 1.f},
                              {-0.5f, -0.5f, -1.f},
                              {0.5f, 0.5f, 1.f},
                              shapeIs<osg::Capsule>([](const osg::Capsule& s) {
                                  return s.getRadius() == 0.5f && s.getHeight() == 1.f;
                              })}),
    [](const auto& row) { return std::string(row.param.name); });

// ---------------------------------------------------------------------------
// Procedural kinds: the builder of the table, fed from items 4 and 11.

struct ProceduralCase
{
    const char* name;
    int kind;
    Items items;
    bool scaled; // whether item 4 is the transform's scale
    std::function<void(osg::Node*)> check;
};

class ProceduralKinds : public testing::TestWithParam<ProceduralCase>
{
};

TEST_P(ProceduralKinds, BuildTheirBuilderFromItems4And11)
{
    const ProceduralCase& c = GetParam();
    Items items = c.items;
    items.ints[KIND] = {c.kind};
    osg::ref_ptr<VisBaseObject> object = create(items);
    ASSERT_TRUE(object->isInitialized());
    ASSERT_EQ(object->getTransform()->getNumChildren(), 1u);
    c.check(object->shape());
    const std::vector<float>& s = items.floats.at(4);
    if (c.scaled) {
        EXPECT_EQ(object->getScale(), osg::Matrixd::scale(s[0], s[1], s[2]));
    } else {
        EXPECT_TRUE(isIdentity(object->getScale()));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Kinds7To11, ProceduralKinds,
    testing::Values(
        ProceduralCase{
            "SpringWindingsTruncated", 7,
            Items{{{item::shape::Scale, {2.f, 0.3f, 9.f}}, {PARAMETERS, {5.9f, 0.05f}}}, {}}, false,
            [](osg::Node* node) {
                auto* spring = dynamic_cast<Spring*>(node);
                ASSERT_NE(spring, nullptr);
                EXPECT_EQ(spring->getDataVariance(), osg::Object::DYNAMIC);
                // The default segments: 25 a winding, 10 around the wire.
                EXPECT_EQ(
                    spring->parameters(),
                    (Spring::Parameters{
                        .length = 2.f, .coilRadius = 0.3f, .windings = 5, .wireRadius = 0.05f}));
            }},
        ProceduralCase{
            "InternalGearTeethFrom11_1", 8,
            Items{{{item::shape::Scale, {1.f, 1.f, 0.2f}}, {PARAMETERS, {0.3f, -12.9f, 20.f}}}, {}},
            true,
            [](osg::Node* node) {
                auto* gear = dynamic_cast<Gear*>(node);
                ASSERT_NE(gear, nullptr);
                // n = -12: pitch 2π/12, taper from b = 4[2] and
                // α = 20°, negated inside; ring at (1 + k)/2.
                const Gear::Layout& l = gear->layout();
                EXPECT_NEAR(l.pitch, 2.0 * M_PI / 12.0, 1e-6);
                EXPECT_NEAR(l.taper, -std::tan(20.0 * M_PI / 180.0) * 0.2, 1e-6);
                EXPECT_NEAR(l.ringRadius, 0.65, 1e-6);
            }},
        ProceduralCase{
            "PipeBoreAndEndRatio", 9,
            Items{{{item::shape::Scale, {0.5f, 0.5f, 2.f}}, {PARAMETERS, {7.f, 0.6f, 0.5f}}}, {}},
            true,
            [](osg::Node* node) {
                auto* pipe = dynamic_cast<Pipe*>(node);
                ASSERT_NE(pipe, nullptr);
                EXPECT_FLOAT_EQ(pipe->innerBottomRadius(), 0.3f);
                EXPECT_FLOAT_EQ(pipe->outerTopRadius(), 0.25f);
            }},
        ProceduralCase{
            "GridSpacingRounded", 10,
            Items{{{item::shape::Scale, {10.f, 4.f, 1.f}}, {PARAMETERS, {0.123f}}}, {}}, true,
            [](osg::Node* node) {
                auto* grid = dynamic_cast<Grid*>(node);
                ASSERT_NE(grid, nullptr);
                EXPECT_FLOAT_EQ(grid->spacing(), 0.12f);
                // Lines in the unit square, spaced 0.12 / 4 along y.
                float minY = 1.f;
                for (const osg::Vec3& v : geometry_checks::verticesOf(grid->geometry())) {
                    if (v.x() == -0.5f)
                        minY = std::min(minY, v.y());
                }
                EXPECT_NEAR(minY, -std::floor(4.f / 0.12f) * 0.12f / 4.f / 2.f, 1e-5);
            }},
        ProceduralCase{"BeamFromItem4", 11, Items{{{item::shape::Scale, {3.f, 0.5f, 0.2f}}}, {}},
                       false,
                       [](osg::Node* node) {
                           auto* beam = dynamic_cast<Beam*>(node);
                           ASSERT_NE(beam, nullptr);
                           EXPECT_EQ(beam->length(), 3.f);
                           EXPECT_EQ(beam->width(), 0.5f);
                           EXPECT_EQ(beam->height(), 0.2f);
                           for (unsigned i = 0; i < beam->getNumChildren(); ++i)
                               EXPECT_EQ(beam->getChild(i)->getNodeMask(), 30u);
                       }}),
    [](const auto& row) { return std::string(row.param.name); });

// ---------------------------------------------------------------------------
// Updates: item 1 alone moves; item 4 stretches, resizes or scales. Every
// update keeps the node built at initialisation.

class EveryKind : public testing::TestWithParam<int>
{
};

TEST_P(EveryKind, PositionUpdateMovesAndRebuildsNothing)
{
    osg::ref_ptr<VisBaseObject> object = create(completeItems(GetParam()));
    osg::ref_ptr<osg::Node> before = object->shape();
    const std::vector<osg::Geometry*> geometriesBefore =
        before ? geometry_checks::geometriesOf(*before) : std::vector<osg::Geometry*>{};
    const osg::Matrixd scale = object->getScale();

    send(*object, {{{item::shape::Position, {3.f, -2.f, 1.f}}}, {}});

    EXPECT_EQ(object->shape(), before.get());
    EXPECT_EQ(object->getTransform()->getNumChildren(), before ? 1u : 0u);
    if (before) {
        EXPECT_EQ(geometry_checks::geometriesOf(*before), geometriesBefore);
    }
    EXPECT_EQ(object->getTranslation(), osg::Matrixd::translate(3.0, -2.0, 1.0));
    EXPECT_EQ(object->getScale(), scale);
}

TEST_P(EveryKind, ScaleUpdateKeepsTheNode)
{
    const int kind = GetParam();
    osg::ref_ptr<VisBaseObject> object = create(completeItems(kind));
    osg::ref_ptr<osg::Node> before = object->shape();

    send(*object, {{{item::shape::Scale, {3.f, 0.8f, 0.25f}}}, {}});

    EXPECT_EQ(object->shape(), before.get());
    const bool reshapes = kind == VisBaseObject::KIND_SPRING || kind == VisBaseObject::KIND_BEAM;
    if (reshapes) {
        EXPECT_TRUE(isIdentity(object->getScale()));
    } else {
        EXPECT_EQ(object->getScale(), osg::Matrixd::scale(3.0, 0.8f, 0.25f));
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, EveryKind, testing::Range(0, 13),
                         [](const auto& row) { return "Kind" + std::to_string(row.param); });

TEST(ShapeUpdates, SpringStretchesToItem4AndBack)
{
    osg::ref_ptr<VisBaseObject> object = create(completeItems(VisBaseObject::KIND_SPRING));
    auto* spring = dynamic_cast<Spring*>(object->shape());
    ASSERT_NE(spring, nullptr);
    const auto topOf = [&] {
        float top = -1.f;
        for (const osg::Vec3& v : spring->vertices())
            top = std::max(top, v.z());
        return top;
    };
    // The wire's highest sample lies at 72 degrees around it.
    const float builtTop = topOf();
    EXPECT_NEAR(builtTop, 2.f + 0.05f * std::sin(0.4f * float(M_PI)), 1e-5);

    send(*object, {{{item::shape::Scale, {3.5f, 1.f, 0.5f}}}, {}});
    EXPECT_NEAR(topOf() - builtTop, 1.5f, 1e-5);
    EXPECT_TRUE(isIdentity(object->getScale()));

    send(*object, {{{item::shape::Scale, {2.f, 1.f, 0.5f}}}, {}});
    const osg::Vec3Array& built = spring->builtVertices();
    const osg::Vec3Array& live = spring->vertices();
    ASSERT_EQ(built.size(), live.size());
    for (std::size_t i = 0; i < built.size(); ++i)
        ASSERT_EQ(live[i], built[i]) << "vertex " << i;
}

TEST(ShapeUpdates, BeamResizesToItem4)
{
    osg::ref_ptr<VisBaseObject> object = create(completeItems(VisBaseObject::KIND_BEAM));
    auto* beam = dynamic_cast<Beam*>(object->shape());
    ASSERT_NE(beam, nullptr);

    send(*object, {{{item::shape::Scale, {0.f, 0.4f, 1.f}}}, {}});

    EXPECT_EQ(beam->length(), 0.f);
    const osg::BoundingBox box = placedBounds(*object);
    // Length 0 leaves a cylinder of diameter 0.4 and height 1.
    EXPECT_NEAR(box.xMax() - box.xMin(), 0.4f, 1e-3);
    EXPECT_NEAR(box.zMax() - box.zMin(), 1.f, 1e-5);
    EXPECT_TRUE(isIdentity(object->getScale()));
}

TEST(ShapeUpdates, LaterKindChangeOnlyChangesTheUpdateRule)
{
    osg::ref_ptr<VisBaseObject> box = create(completeItems(VisBaseObject::KIND_BOX));
    osg::ref_ptr<osg::Node> built = box->shape();

    // Now read as a spring: nothing is rebuilt, and item 4 no longer scales
    // (the box is no spring to stretch).
    send(*box, {{{item::shape::Scale, {5.f, 5.f, 5.f}}}, {{KIND, {VisBaseObject::KIND_SPRING}}}});
    EXPECT_EQ(box->shape(), built.get());
    EXPECT_EQ(box->getScale(), osg::Matrixd::scale(2.0, 1.0, 0.5));
}

// ---------------------------------------------------------------------------
// Appearance items that fail after the build.

// An appearance failure after the build (item 9 without item 8) leaves the
// object uninitialised; the retry that succeeds keeps exactly one shape.
TEST(ShapeAppearance, RetryAfterAppearanceFailureBuildsOneShape)
{
    testing::internal::CaptureStdout();
    osg::ref_ptr<VisBaseObject> box =
        create({{{item::shape::Scale, {1.f, 1.f, 1.f}}, {9, {0.5f}}}, {{KIND, {1}}}});
    const std::string output = testing::internal::GetCapturedStdout();
    EXPECT_FALSE(box->isInitialized());
    EXPECT_NE(output.find("ErrorNr: 8"), std::string::npos);

    send(*box, {{}, {{item::shape::ShininessOn, {1}}}});
    EXPECT_TRUE(box->isInitialized());
    EXPECT_EQ(box->getTransform()->getNumChildren(), 1u);
}

// ---------------------------------------------------------------------------
// Kinds outside 1-11 and incomplete items.

class KindsWithoutShape : public testing::TestWithParam<int>
{
};

TEST_P(KindsWithoutShape, AreInitialisedAndEmpty)
{
    osg::ref_ptr<VisBaseObject> object =
        create({{{item::shape::Scale, {2.f, 2.f, 2.f}}}, {{KIND, {GetParam()}}}});
    EXPECT_TRUE(object->isInitialized());
    EXPECT_EQ(object->getTransform()->getNumChildren(), 0u);
    EXPECT_EQ(object->shape(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Codes, KindsWithoutShape, testing::Values(0, 12, -1, 1000));

struct IncompleteCase
{
    const char* name;
    Items first;      // lacks something the kind reads
    Items completion; // supplies it
    int errorNumber;
};

class IncompleteItems : public testing::TestWithParam<IncompleteCase>
{
};

TEST_P(IncompleteItems, FailLikeMissingItemsThenBuildFromTheState)
{
    const IncompleteCase& c = GetParam();
    Items first = c.first;
    first.ints[item::shape::Colour] = {0, 255, 0};
    first.floats[item::shape::Position] = {1.f, 2.f, 3.f};

    testing::internal::CaptureStdout();
    osg::ref_ptr<VisBaseObject> object = create(first);
    const std::string output = testing::internal::GetCapturedStdout();

    EXPECT_FALSE(object->isInitialized());
    EXPECT_EQ(object->getTransform()->getNumChildren(), 0u);
    const std::string report = "An error occured while initializing VisBaseObject. Object will be "
                               "skipped!\nRequested data not in packet or data size mismatch!\n"
                               "ErrorNr: " +
                               std::to_string(c.errorNumber) + "\n";
    EXPECT_NE(output.find(report), std::string::npos) << output;
    EXPECT_EQ(output.find("while updating"), std::string::npos) << output;

    // The packet that completes the state builds the object, placed and
    // coloured by what the first packet brought.
    testing::internal::CaptureStdout();
    send(*object, c.completion);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    ASSERT_TRUE(object->isInitialized());
    ASSERT_EQ(object->getTransform()->getNumChildren(), 1u);
    EXPECT_EQ(object->getTranslation(), osg::Matrixd::translate(1.0, 2.0, 3.0));
    const auto geometries = geometry_checks::geometriesOf(*object->shape());
    ASSERT_FALSE(geometries.empty());
    const osg::Material* material = drawnMaterial(*object->shape(), *geometries[0]);
    ASSERT_NE(material, nullptr);
    EXPECT_EQ(material->getDiffuse(osg::Material::FRONT), osg::Vec4(0.f, 1.f, 0.f, 1.f));
}

INSTANTIATE_TEST_SUITE_P(
    ShortOrMissing, IncompleteItems,
    testing::Values(
        IncompleteCase{"KindMissing", Items{{{item::shape::Scale, {1.f, 1.f, 1.f}}}, {}},
                       Items{{}, {{KIND, {1}}}}, 5},
        IncompleteCase{"KindEmpty", Items{{{item::shape::Scale, {1.f, 1.f, 1.f}}}, {{KIND, {}}}},
                       Items{{}, {{KIND, {2}}}}, 5},
        IncompleteCase{"KindAsFloat", Items{{{KIND, {1.f}}}, {}}, Items{{}, {{KIND, {3}}}}, 5},
        IncompleteCase{
            "SpringScaleShort",
            Items{{{item::shape::Scale, {1.f, 0.2f}}, {PARAMETERS, {3.f, 0.02f}}}, {{KIND, {7}}}},
            Items{{{item::shape::Scale, {1.f, 0.2f, 0.2f}}}, {}}, 4},
        IncompleteCase{
            "SpringParametersShort",
            Items{{{item::shape::Scale, {1.f, 0.2f, 0.2f}}, {PARAMETERS, {3.f}}}, {{KIND, {7}}}},
            Items{{{PARAMETERS, {3.f, 0.02f}}}, {}}, 11},
        IncompleteCase{"GearParametersShort",
                       Items{{{item::shape::Scale, {1.f, 1.f, 0.2f}}, {PARAMETERS, {0.f, 12.f}}},
                             {{KIND, {8}}}},
                       Items{{{PARAMETERS, {0.f, 12.f, 0.f}}}, {}}, 11},
        IncompleteCase{"PipeScaleMissing", Items{{{PARAMETERS, {0.f, 0.5f, 1.f}}}, {{KIND, {9}}}},
                       Items{{{item::shape::Scale, {1.f, 1.f, 1.f}}}, {}}, 4},
        IncompleteCase{"GridParametersMissing",
                       Items{{{item::shape::Scale, {2.f, 2.f, 1.f}}}, {{KIND, {10}}}},
                       Items{{{PARAMETERS, {0.5f}}}, {}}, 11},
        IncompleteCase{"BeamScaleShort", Items{{{item::shape::Scale, {1.f}}}, {{KIND, {11}}}},
                       Items{{{item::shape::Scale, {1.f, 0.2f, 0.2f}}}, {}}, 4}),
    [](const auto& row) { return std::string(row.param.name); });

} // namespace
