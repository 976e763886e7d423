// The scene object base classes: the state packet and its retry, the
// transform, the appearance items, sending and the process-wide time.

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include <osg/BlendFunc>
#include <osg/Material>
#include <osg/PolygonMode>

#include "SceneTestSupport.h"
#include "scene/DrawablePurpose.h"

using namespace scenetest;

namespace {

// A test object built from a packet with one triangle and its changed flags
// cleared, as the object manager leaves it.
osg::ref_ptr<TestObject> builtObject(PacketSink* sink = nullptr, int triangles = 1)
{
    osg::ref_ptr<TestObject> object = new TestObject(sink);
    deliver(*object, *makePacket({{}, {{TestObject::ITEM_TRIANGLES, {triangles}}}}), true);
    EXPECT_TRUE(object->isInitialized());
    return object;
}

const osg::Material* materialOf(const osg::Drawable& drawable)
{
    const osg::StateSet* stateSet = drawable.getStateSet();
    return stateSet ? dynamic_cast<const osg::Material*>(
                          stateSet->getAttribute(osg::StateAttribute::MATERIAL))
                    : nullptr;
}

using testsupport::accessorFailure;

// Names parameterised rows by their `name` member.
template <typename Row> struct RowName
{
    std::string operator()(const testing::TestParamInfo<Row>& row) const { return row.param.name; }
};

} // namespace

// --- construction and the transform -----------------------------------------

TEST(Vis3DObject, ConstructionSetsMaskNormalizeAndTheTransformChild)
{
    osg::ref_ptr<TestObject> object = new TestObject;
    EXPECT_EQ(object->getNodeMask(), 0x1Eu);
    ASSERT_NE(object->getStateSet(), nullptr);
    EXPECT_EQ(object->getStateSet()->getMode(GL_NORMALIZE), osg::StateAttribute::ON);
    ASSERT_EQ(object->getNumChildren(), 1u);
    EXPECT_EQ(object->getChild(0), object->getTransform());
    EXPECT_TRUE(object->getTransform()->getMatrix().isIdentity());
    EXPECT_TRUE(object->isIntersectable());
    EXPECT_FALSE(object->isInitialized());
}

struct TransformCase
{
    const char* name;
    Items items;
    osg::Vec3d local;
    osg::Vec3d world;
};

using Transform = testing::TestWithParam<TransformCase>;

TEST_P(Transform, MapsTheLocalPoint)
{
    const TransformCase& row = GetParam();
    osg::ref_ptr<TestObject> object = builtObject();
    deliver(*object, *makePacket(row.items), false);
    const osg::Vec3d world = row.local * object->getTransform()->getMatrix();
    EXPECT_NEAR(world.x(), row.world.x(), 1e-12);
    EXPECT_NEAR(world.y(), row.world.y(), 1e-12);
    EXPECT_NEAR(world.z(), row.world.z(), 1e-12);
}

const std::vector<float> QUARTER_TURN_Z = {0, -1, 0, 1, 0, 0};

INSTANTIATE_TEST_SUITE_P(
    Vis3DObject, Transform,
    testing::Values(
        TransformCase{"IdentityOrientation", {{{3, {1, 0, 0, 0, 1, 0}}}, {}}, {1, 2, 3}, {1, 2, 3}},
        TransformCase{"QuarterTurnMovesXToY", {{{3, QUARTER_TURN_Z}}, {}}, {1, 0, 0}, {0, 1, 0}},
        TransformCase{
            "QuarterTurnMovesYToMinusX", {{{3, QUARTER_TURN_Z}}, {}}, {0, 1, 0}, {-1, 0, 0}},
        TransformCase{
            "ScaleBeforeTranslation", {{{1, {1, 0, 0}}, {4, {2, 2, 2}}}, {}}, {1, 0, 0}, {3, 0, 0}},
        TransformCase{"RotationBeforeTranslation",
                      {{{1, {1, 0, 0}}, {3, QUARTER_TURN_Z}}, {}},
                      {1, 0, 0},
                      {1, 1, 0}},
        TransformCase{"ScaleBeforeRotation",
                      {{{3, QUARTER_TURN_Z}, {4, {2, 1, 1}}}, {}},
                      {1, 0, 0},
                      {0, 2, 0}},
        TransformCase{"AllThree",
                      {{{1, {10, 20, 30}}, {3, QUARTER_TURN_Z}, {4, {2, 3, 4}}}, {}},
                      {1, 1, 1},
                      {7, 22, 34}}),
    RowName<TransformCase>{});

TEST(Vis3DObject, MatrixUsesRowVectorsWithTranslationInTheLastRow)
{
    osg::ref_ptr<TestObject> object = builtObject();
    deliver(*object, *makePacket({{{1, {10, 20, 30}}}, {}}), false);
    const osg::Matrixd& m = object->getTransform()->getMatrix();
    EXPECT_EQ(m(3, 0), 10.0);
    EXPECT_EQ(m(3, 1), 20.0);
    EXPECT_EQ(m(3, 2), 30.0);
    EXPECT_EQ(m(0, 3), 0.0);
}

TEST(Vis3DObject, PositionAloneKeepsOrientationAndScale)
{
    osg::ref_ptr<TestObject> object = builtObject();
    deliver(*object, *makePacket({{{3, QUARTER_TURN_Z}, {4, {2, 2, 2}}}, {}}), false);
    const osg::Matrixd rotation = object->getRotation();
    const osg::Matrixd scale = object->getScale();
    deliver(*object, *makePacket({{{1, {5, 0, 0}}}, {}}), false);
    EXPECT_EQ(object->getRotation(), rotation);
    EXPECT_EQ(object->getScale(), scale);
    EXPECT_EQ(object->getTransform()->getMatrix(),
              scale * rotation * osg::Matrixd::translate(5, 0, 0));
}

// Position, orientation and scale arrive in any order and any mix; after
// every packet the matrix is bit for bit the product of the three parts (a
// part remembered from an earlier packet must not be stale, and the signs
// of zeros must come out as the full product gives them).
TEST(Vis3DObject, MatrixIsTheExactProductAfterEveryMixOfParts)
{
    osg::ref_ptr<TestObject> object = builtObject();
    const std::vector<Items> steps = {
        {{{1, {1.5f, -2.f, 0.f}}}, {}},
        {{{3, {0.f, -1.f, 0.f, 1.f, 0.f, 0.f}}}, {}},
        {{{1, {-0.f, 3.f, 7.25f}}}, {}},
        {{{4, {2.f, -0.5f, 3.f}}}, {}},
        {{{1, {4.f, 5.f, 6.f}}}, {}},
        {{{3, {0.6f, 0.8f, 0.f, -0.8f, 0.6f, 0.f}}, {1, {-1.f, -2.f, -3.f}}}, {}},
        {{{4, {1.f, 1.f, -1.f}}}, {}},
        {{{1, {0.1f, 0.2f, 0.3f}}}, {}},
    };
    for (std::size_t i = 0; i < steps.size(); ++i) {
        deliver(*object, *makePacket(steps[i]), false);
        const osg::Matrixd expected =
            object->getScale() * object->getRotation() * object->getTranslation();
        const osg::Matrixd& actual = object->getTransform()->getMatrix();
        EXPECT_EQ(std::memcmp(actual.ptr(), expected.ptr(), sizeof(double) * 16), 0)
            << "after step " << i;
    }
    const osg::Vec3d world = osg::Vec3d(1, 0, 0) * object->getTransform()->getMatrix();
    // Scale (1, 1, -1), then the turn taking x to (0.6, -0.8, 0), then the move.
    EXPECT_NEAR(world.x(), 0.7, 1e-6);
    EXPECT_NEAR(world.y(), -0.6, 1e-6);
    EXPECT_NEAR(world.z(), 0.3, 1e-6);
}

TEST(Vis3DObject, OrientationIsTheTwoAxesAndTheirCrossProductUnnormalised)
{
    osg::ref_ptr<TestObject> object = new TestObject;
    const std::vector<float> axes = {1, 2, 3, 4, 5, 6}; // w = u x v = (-3, 6, -3)
    object->setOrientation(axes);
    const osg::Matrixd expected(1, 4, -3, 0, //
                                2, 5, 6, 0,  //
                                3, 6, -3, 0, //
                                0, 0, 0, 1);
    EXPECT_EQ(object->getRotation(), expected);
    EXPECT_EQ(object->getTransform()->getMatrix(), expected);

    const std::vector<float> long_axes = {2, 0, 0, 0, 3, 0};
    object->setOrientation(long_axes);
    EXPECT_EQ(object->getRotation(), osg::Matrixd(2, 0, 0, 0, 0, 3, 0, 0, 0, 0, 6, 0, 0, 0, 0, 1));
}

// --- malformed items ---------------------------------------------------------

struct ShortItemCase
{
    const char* name;
    Items items;
    int errorNumber;
};

using ShortItem = testing::TestWithParam<ShortItemCase>;

// A short vector fails like a missing item: the packet exception with the
// item's number, and nothing of the packet applied.
TEST_P(ShortItem, ThrowsTheAccessorErrorAndAppliesNothing)
{
    const ShortItemCase& row = GetParam();
    osg::ref_ptr<TestObject> object = builtObject();
    Items items = row.items;
    items.floats[10] = {0.5f}; // would make it transparent
    testing::internal::CaptureStdout();
    try {
        object->update(*makePacket(items));
        ADD_FAILURE() << "no exception";
    } catch (const GNP2::GNP2Exception& error) {
        EXPECT_EQ(error.getErrorNumber(), row.errorNumber);
        EXPECT_STREQ(error.what(), GNP2::ACCESSOR_ERROR);
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), accessorFailure(row.errorNumber));
    EXPECT_TRUE(object->getTransform()->getMatrix().isIdentity());
    EXPECT_EQ(object->geode()->getNumDrawables(), 1u);
    EXPECT_EQ(materialOf(*object->geode()->getDrawable(0)), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Vis3DObject, ShortItem,
    testing::Values(ShortItemCase{"PositionOfTwo", {{{1, {1, 2}}}, {}}, 1},
                    ShortItemCase{"PositionEmpty", {{{1, {}}}, {}}, 1},
                    ShortItemCase{"PositionAsInts", {{}, {{1, {1, 2, 3}}}}, 1},
                    ShortItemCase{"OrientationOfFive", {{{3, {1, 0, 0, 0, 1}}}, {}}, 3},
                    ShortItemCase{"ScaleOfTwo", {{{4, {2, 2}}}, {}}, 4},
                    ShortItemCase{"ColourOfTwo", {{}, {{44, {255, 0}}}}, 44},
                    ShortItemCase{"ShininessWithoutSwitch", {{{9, {0.5f}}}, {}}, 8}),
    RowName<ShortItemCase>{});

TEST(Vis3DObject, EmptyAppearanceItemsFailWithTheirNumbers)
{
    for (int item : {10, 29, 8}) {
        SCOPED_TRACE(item);
        osg::ref_ptr<TestObject> object = builtObject();
        auto packet = makePacket({{{9, {0.5f}}}, {{8, {1}}}});
        packet->removeItem(item);
        if (item == 8)
            packet->setIntVector(8, {});
        else if (item == 29)
            packet->setIntVector(29, {});
        else
            packet->setFloatVector(10, {});
        testing::internal::CaptureStdout();
        EXPECT_THROW(object->updateAppearance(*packet, true, false), GNP2::GNP2Exception);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), accessorFailure(item));
    }
}

// --- updateAppearance ----------------------------------------------------------

struct TriggerCase
{
    const char* name;
    std::set<int> changed;
    bool force;
    bool applies;
};

using AppearanceTrigger = testing::TestWithParam<TriggerCase>;

// All appearance items are present; only the changed flags and the force
// flag differ between the rows.
TEST_P(AppearanceTrigger, RunsOnlyWhenForcedOrAnAppearanceItemChanged)
{
    const TriggerCase& row = GetParam();
    osg::ref_ptr<TestObject> object = builtObject();
    auto packet = makePacket(
        {{{1, {1, 2, 3}}, {9, {0.5f}}, {10, {0.5f}}}, {{8, {1}}, {29, {1}}, {44, {255, 0, 0}}}});
    packet->clearChanged();
    for (int index : row.changed) {
        const GNP2::Item& item = packet->item(index);
        const std::vector<unsigned char> bytes(item.data, item.data + item.byteSize());
        const int count = item.count, type = item.type;
        packet->removeItem(index);
        packet->setRaw(index, type, count, bytes.data());
    }

    object->updateAppearance(*packet, row.force, false);

    osg::Geode* geode = object->geode();
    const bool transparent = geode->getNumDrawables() == 2;
    const osg::Material* material = materialOf(*geode->getDrawable(0));
    const bool wireframe = geode->getStateSet() &&
                           geode->getStateSet()->getAttribute(osg::StateAttribute::POLYGONMODE);
    EXPECT_EQ(transparent, row.applies);
    EXPECT_EQ(wireframe, row.applies);
    EXPECT_EQ(material != nullptr, row.applies);
    if (material && row.applies) {
        EXPECT_EQ(material->getDiffuse(osg::Material::FRONT).a(), 0.5f);
        EXPECT_FLOAT_EQ(material->getShininess(osg::Material::FRONT), 64.0f);
    }
}

INSTANTIATE_TEST_SUITE_P(Vis3DObject, AppearanceTrigger,
                         testing::Values(TriggerCase{"NothingChanged", {}, false, false},
                                         TriggerCase{
                                             "OnlyShininessSwitchChanged", {8}, false, false},
                                         TriggerCase{"OnlyPositionChanged", {1}, false, false},
                                         TriggerCase{"AlphaChanged", {10}, false, true},
                                         TriggerCase{"ColourChanged", {44}, false, true},
                                         TriggerCase{"WireframeChanged", {29}, false, true},
                                         TriggerCase{"ShininessChanged", {9}, false, true},
                                         TriggerCase{"ForcedWithNothingChanged", {}, true, true}),
                         RowName<TriggerCase>{});

TEST(Vis3DObject, ColourItemScalesTo0To1)
{
    osg::ref_ptr<TestObject> object = builtObject();
    deliver(*object, *makePacket({{}, {{44, {255, 0, 51}}}}), false);
    const osg::Material* material = materialOf(*object->geode()->getDrawable(0));
    ASSERT_NE(material, nullptr);
    for (const osg::Vec4& colour :
         {material->getDiffuse(osg::Material::FRONT), material->getAmbient(osg::Material::BACK)}) {
        EXPECT_FLOAT_EQ(colour.r(), 1.0f);
        EXPECT_EQ(colour.g(), 0.0f);
        EXPECT_FLOAT_EQ(colour.b(), 0.2f);
        EXPECT_EQ(colour.a(), 1.0f);
    }
}

TEST(Vis3DObject, AlphaHalfMakesTransparentAndAlphaOneOpaqueAgain)
{
    osg::ref_ptr<TestObject> object = builtObject(nullptr, 2);
    osg::Geode* geode = object->geode();
    deliver(*object, *makePacket({{{10, {0.5f}}}, {}}), false);
    ASSERT_EQ(geode->getNumDrawables(), 4u);
    for (unsigned i = 0; i < 4; ++i)
        EXPECT_EQ(materialOf(*geode->getDrawable(i))->getDiffuse(osg::Material::FRONT).a(), 0.5f);

    deliver(*object, *makePacket({{{10, {1.0f}}}, {}}), false);
    for (unsigned i = 0; i < geode->getNumDrawables(); ++i) {
        const osg::Material* material = materialOf(*geode->getDrawable(i));
        EXPECT_EQ(material->getDiffuse(osg::Material::FRONT).a(), 1.0f);
        EXPECT_EQ(material->getAmbient(osg::Material::BACK).a(), 1.0f);
    }
}

TEST(Vis3DObject, TransparencyFlagSelectsWholeNodeMode)
{
    osg::ref_ptr<TestObject> object = builtObject();
    object->updateAppearance(*makePacket({{{10, {0.3f}}}, {}}), false, true);
    osg::Geode* geode = object->geode();
    EXPECT_EQ(geode->getNumDrawables(), 1u);
    ASSERT_NE(geode->getStateSet(), nullptr);
    EXPECT_NE(geode->getStateSet()->getAttribute(osg::StateAttribute::BLENDFUNC), nullptr);
    EXPECT_EQ(materialOf(*geode->getDrawable(0))->getDiffuse(osg::Material::BACK).a(), 0.3f);
}

TEST(Vis3DObject, ShininessNeedsTheSwitch)
{
    osg::ref_ptr<TestObject> object = builtObject();
    deliver(*object, *makePacket({{{9, {0.5f}}}, {{8, {0}}, {44, {0, 0, 255}}}}), false);
    const osg::Material* material = materialOf(*object->geode()->getDrawable(0));
    ASSERT_NE(material, nullptr);
    EXPECT_EQ(material->getShininess(osg::Material::FRONT), 0.0f) << "switch 0 leaves it";
    EXPECT_EQ(material->getSpecular(osg::Material::FRONT), osg::Vec4(0, 0, 0, 1));

    deliver(*object, *makePacket({{{9, {0.5f}}}, {{8, {1}}}}), false);
    EXPECT_EQ(material->getShininess(osg::Material::FRONT), 0.0f)
        << "item 9 is unchanged in the state: a change of item 8 alone does not count";

    deliver(*object, *makePacket({{{9, {0.75f}}}, {}}), false);
    EXPECT_FLOAT_EQ(material->getShininess(osg::Material::BACK), 96.0f);
    EXPECT_EQ(material->getSpecular(osg::Material::BACK), osg::Vec4(1, 1, 1, 1));
    EXPECT_EQ(material->getDiffuse(osg::Material::FRONT), osg::Vec4(0, 0, 1, 1)) << "colour stays";
}

TEST(Vis3DObject, WireframeItemSwitchesOnAndOff)
{
    osg::ref_ptr<TestObject> object = builtObject();
    deliver(*object, *makePacket({{}, {{29, {1}}}}), false);
    const auto* mode = dynamic_cast<const osg::PolygonMode*>(
        object->geode()->getStateSet()->getAttribute(osg::StateAttribute::POLYGONMODE));
    ASSERT_NE(mode, nullptr);
    EXPECT_EQ(mode->getMode(osg::PolygonMode::FRONT), osg::PolygonMode::LINE);
    deliver(*object, *makePacket({{}, {{29, {0}}}}), false);
    EXPECT_EQ(mode->getMode(osg::PolygonMode::FRONT), osg::PolygonMode::FILL);
}

// --- initialize, retry and the state packet --------------------------------

TEST(VisObject, IncompleteFirstPacketPrintsTheFailureAndIsBuiltOnceComplete)
{
    osg::ref_ptr<TestObject> object = new TestObject;
    testing::internal::CaptureStdout();
    deliver(*object, *makePacket({{{1, {5, 0, 0}}, {10, {0.5f}}}, {}}), true);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              accessorFailure(50) +
                  "An error occured while initializing TestObject. Object will be skipped!\n" +
                  accessorFailure(50) + accessorFailure(50) +
                  "An error occured while initializing TestObject. Object will be skipped!\n" +
                  accessorFailure(50))
        << "initialize, then update's retry, each fail once";
    EXPECT_FALSE(object->isInitialized());
    EXPECT_EQ(object->geode(), nullptr);
    EXPECT_EQ(object->getTransform()->getMatrix(), osg::Matrixd())
        << "nothing is applied to an object that is not built";

    object->update(*makePacket({{}, {{TestObject::ITEM_TRIANGLES, {2}}}}));
    EXPECT_TRUE(object->isInitialized());
    EXPECT_EQ(object->initializeCalls, 3);
    // Built from the merged state: its own items and those of the first
    // packet, whose placement counts as arrived with the build.
    EXPECT_EQ(object->getTransform()->getMatrix(), osg::Matrixd::translate(5, 0, 0));
    ASSERT_NE(object->geode(), nullptr);
    EXPECT_EQ(object->geode()->getNumDrawables(), 4u) << "two triangles, made transparent";
    EXPECT_TRUE(object->getPacket().isChanged(TestObject::ITEM_TRIANGLES))
        << "rebuilding from the state must not clear the flags of the merge";

    object->update(*makePacket({}));
    EXPECT_EQ(object->initializeCalls, 3) << "a built object is not built again";
}

TEST(VisObject, UpdateLetsAnAppearanceErrorPass)
{
    osg::ref_ptr<TestObject> object = builtObject();
    testing::internal::CaptureStdout();
    try {
        deliver(*object, *makePacket({{{9, {0.5f}}}, {}}), false);
        ADD_FAILURE() << "no exception";
    } catch (const GNP2::GNP2Exception& error) {
        EXPECT_EQ(error.getErrorNumber(), 8);
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), accessorFailure(8));
}

TEST(VisObject, FailureLineCarriesTheClassTextAndAnyAddition)
{
    EXPECT_EQ(VisObject::failureLine(VisObject::Phase::Updating, "VisLightObject"),
              "An error occured while updating VisLightObject. Object will be skipped!");
    EXPECT_EQ(VisObject::failureLine(VisObject::Phase::Initializing, "VisFlowPipeObj",
                                     " Will try to reinitialize later."),
              "An error occured while initializing VisFlowPipeObj. Object will be skipped! "
              "Will try to reinitialize later.");
}

TEST(VisObject, TimeIsOneValueForAllObjects)
{
    osg::ref_ptr<TestObject> first = builtObject();
    osg::ref_ptr<TestObject> second = builtObject();
    deliver(*first, *makePacket({{{0, {2.5f}}}, {}}), false);
    EXPECT_EQ(second->getTime(), 2.5f);
    deliver(*second, *makePacket({{{0, {4.0f}}}, {}}), false);
    EXPECT_EQ(first->getTime(), 4.0f);
    deliver(*first, *makePacket({}), false);
    EXPECT_EQ(second->getTime(), 4.0f) << "a packet without item 0 keeps the time";
}

// --- sendPacket ---------------------------------------------------------------

TEST(VisObject, SendPacketReaddressesToTheObjectAndItsConnection)
{
    RecordingSink sink;
    osg::ref_ptr<TestObject> object = builtObject(&sink);
    auto* answer = new GNP2::Packet;
    answer->setHeader(GNP2::makeHeader(99, 5));
    answer->setIntVector(item::every::Connection, {42, 1});
    answer->setFloatVector(20, {1.5f});
    object->sendPacket(answer);

    ASSERT_EQ(sink.sent.size(), 1u);
    const GNP2::Packet& sent = *sink.sent[0];
    EXPECT_EQ(&sent, answer);
    EXPECT_EQ(sent.header(), GNP2::makeHeader(OBJECT_NUMBER, 0));
    EXPECT_EQ(sent.getIntVector(item::every::Connection), std::vector<int>{CONNECTION});
    EXPECT_EQ(sent.getFloatVector(20), std::vector<float>{1.5f});
}

TEST(VisObject, SendPacketWithoutQueueOrConnectionSendsNothing)
{
    osg::ref_ptr<TestObject> replayed = builtObject(nullptr);
    replayed->sendPacket(new GNP2::Packet); // deleted; the leak checker would see it otherwise

    RecordingSink sink;
    osg::ref_ptr<TestObject> fresh = new TestObject(&sink);
    fresh->sendPacket(new GNP2::Packet);
    EXPECT_TRUE(sink.sent.empty()) << "no state yet, so no connection to send to";
}
