// The light object without a window: light numbers from the shared counter,
// the light's values from its items, the switch in the parent's state set,
// and the failure handling of both operations.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include <osg/Group>

#include "objects/VisLightObject.h"
#include "scene/LightNumbers.h"
#include "TextLightTestSupport.h"

using namespace textlight;

namespace {

// A complete creating packet: a positional light.
Items basicLight()
{
    Items items;
    items.floats[item::every::Time] = {1.5f};
    items.ints[item::light::Directional] = {0};
    return items;
}

osg::StateAttribute::GLModeValue modeOf(const osg::Group& group, int lightNumber)
{
    const osg::StateSet* stateSet = group.getStateSet();
    if (!stateSet)
        return osg::StateAttribute::INHERIT;
    return stateSet->getMode(GLenum(GL_LIGHT0 + lightNumber));
}

void expectVec4(const osg::Vec4& actual, const osg::Vec4& expected)
{
    for (int i = 0; i < 4; ++i)
        EXPECT_NEAR(actual[i], expected[i], 1e-6f) << "component " << i;
}

class LightObjectTest : public ::testing::Test
{
protected:
    void SetUp() override { LightNumbers::reset(); }
    void TearDown() override { LightNumbers::reset(); }

    // A light hung under the root before its first packet, as the object
    // manager does it.
    osg::ref_ptr<VisLightObject> addLight(const Items& items = basicLight())
    {
        osg::ref_ptr<VisLightObject> light = new VisLightObject(ObjectContext{});
        root->addChild(light.get());
        deliver(*light, items, true);
        return light;
    }

    osg::ref_ptr<osg::Group> root = new osg::Group;
};

TEST_F(LightObjectTest, NineLightsNumberZeroToSevenThenZeroAgain)
{
    std::vector<osg::ref_ptr<VisLightObject>> lights;
    std::vector<int> numbers;
    for (int i = 0; i < 9; ++i) {
        lights.push_back(addLight());
        numbers.push_back(lights.back()->lightNumber());
        ASSERT_TRUE(lights.back()->light());
        EXPECT_EQ(lights.back()->light()->getLightNum(), numbers.back());
    }
    EXPECT_EQ(numbers, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 0}));
    EXPECT_EQ(LightNumbers::issued(), 9u);

    // Destroyed lights give nothing back; only a reset starts again.
    root->removeChildren(0, root->getNumChildren());
    lights.clear();
    EXPECT_EQ(addLight()->lightNumber(), 1);
    LightNumbers::reset();
    EXPECT_EQ(addLight()->lightNumber(), 0);
}

TEST_F(LightObjectTest, BuiltLightSwitchesItselfOnInTheFirstParentsStateSet)
{
    osg::ref_ptr<osg::Group> otherParent = new osg::Group;
    addLight(); // 0
    osg::ref_ptr<VisLightObject> light = addLight();
    otherParent->addChild(light.get());
    ASSERT_EQ(light->lightNumber(), 1);

    EXPECT_EQ(modeOf(*root, 1), osg::StateAttribute::ON);
    EXPECT_EQ(light->switchedStateSet(), root->getStateSet());
    EXPECT_EQ(otherParent->getStateSet(), nullptr);
    // The light source hangs under the transform, so it moves with the object.
    ASSERT_EQ(light->getTransform()->getNumChildren(), 1u);
    EXPECT_EQ(light->getTransform()->getChild(0), light->lightSource());
    EXPECT_EQ(light->lightSource()->getLight(), light->light());

    // Later updates do not switch it again elsewhere.
    Items diffuse;
    diffuse.ints[item::light::Diffuse] = {10, 20, 30};
    deliver(*light, diffuse, false);
    EXPECT_EQ(light->switchedStateSet(), root->getStateSet());
}

TEST_F(LightObjectTest, LightMadeWithoutAParentSwitchesOnOnceItHasOne)
{
    osg::ref_ptr<VisLightObject> light = new VisLightObject(ObjectContext{});
    deliver(*light, basicLight(), true);
    ASSERT_TRUE(light->isInitialized());
    EXPECT_EQ(light->switchedStateSet(), nullptr);

    root->addChild(light.get());
    deliver(*light, Items{}, false);
    EXPECT_EQ(modeOf(*root, 0), osg::StateAttribute::ON);
}

// Destroying a light switches its OpenGL light off in the kept state set,
// except light 0, which the head light shares.
class LightDestruction : public LightObjectTest, public ::testing::WithParamInterface<int>
{
};

TEST_P(LightDestruction, SwitchesTheLightOffUnlessItIsLightZero)
{
    const int target = GetParam();
    std::vector<osg::ref_ptr<VisLightObject>> lights;
    for (int i = 0; i < LightNumbers::LIGHT_COUNT; ++i)
        lights.push_back(addLight());

    osg::ref_ptr<VisLightObject> doomed = lights[std::size_t(target)];
    lights[std::size_t(target)] = nullptr;
    root->removeChild(doomed.get());
    ASSERT_EQ(doomed->referenceCount(), 1);
    doomed = nullptr; // the last reference: destroyed here

    for (int n = 0; n < LightNumbers::LIGHT_COUNT; ++n) {
        const bool on = n != target || target == 0;
        EXPECT_EQ(modeOf(*root, n), on ? osg::StateAttribute::ON : osg::StateAttribute::OFF)
            << "GL_LIGHT" << n;
    }
}

INSTANTIATE_TEST_SUITE_P(EveryNumber, LightDestruction, ::testing::Range(0, 8));

TEST_F(LightObjectTest, ItemsSetColoursSpotAndAttenuations)
{
    Items items = basicLight();
    items.ints[item::light::Ambient] = {0, 51, 255};
    items.ints[item::light::Diffuse] = {255, 0, 0};
    items.ints[item::light::Specular] = {102, 102, 102};
    items.floats[item::light::SpotCutoff] = {30.f};
    items.floats[item::light::ConstantAttenuation] = {0.5f};
    items.floats[item::light::LinearAttenuation] = {0.25f};
    items.floats[item::light::QuadraticAttenuation] = {0.125f};
    osg::ref_ptr<VisLightObject> object = addLight(items);
    const osg::Light& light = *object->light();

    expectVec4(light.getAmbient(), {0.f, 0.2f, 1.f, 1.f});
    expectVec4(light.getDiffuse(), {1.f, 0.f, 0.f, 1.f});
    expectVec4(light.getSpecular(), {0.4f, 0.4f, 0.4f, 1.f});
    EXPECT_FLOAT_EQ(light.getSpotCutoff(), 30.f);
    EXPECT_FLOAT_EQ(light.getConstantAttenuation(), 0.5f);
    EXPECT_FLOAT_EQ(light.getLinearAttenuation(), 0.25f);
    EXPECT_FLOAT_EQ(light.getQuadraticAttenuation(), 0.125f);
    EXPECT_EQ(light.getDirection(), osg::Vec3(1.f, 0.f, 0.f));
    EXPECT_FLOAT_EQ(object->getTime(), 1.5f);
}

TEST_F(LightObjectTest, UpdateChangesOnlyWhatThePacketCarries)
{
    Items items = basicLight();
    items.ints[item::light::Ambient] = {255, 255, 255};
    items.ints[item::light::Diffuse] = {255, 255, 255};
    items.floats[item::light::Position] = {1.f, 2.f, 3.f};
    osg::ref_ptr<VisLightObject> object = addLight(items);

    Items change;
    change.ints[item::light::Diffuse] = {0, 255, 0};
    change.floats[item::light::LinearAttenuation] = {2.f};
    change.floats[item::light::Scale] = {2.f, 2.f, 2.f};
    change.floats[item::every::Time] = {7.f};
    change.ints[item::light::Directional] = {1}; // read when built only
    deliver(*object, change, false);

    const osg::Light& light = *object->light();
    expectVec4(light.getDiffuse(), {0.f, 1.f, 0.f, 1.f});
    expectVec4(light.getAmbient(), {1.f, 1.f, 1.f, 1.f});
    EXPECT_FLOAT_EQ(light.getLinearAttenuation(), 2.f);
    expectVec4(light.getPosition(), {0.f, 0.f, 0.f, 1.f});
    // Scaled, then moved: the position of the first packet stays.
    const osg::Vec3 placed = osg::Vec3(1.f, 0.f, 0.f) * object->getTransform()->getMatrix();
    EXPECT_NEAR((placed - osg::Vec3(3.f, 2.f, 3.f)).length(), 0.f, 1e-6f);
    EXPECT_FLOAT_EQ(object->getTime(), 7.f);
}

struct LightKindRow
{
    int item32;
    osg::Vec4 position;
};

class LightKind : public LightObjectTest, public ::testing::WithParamInterface<LightKindRow>
{
};

TEST_P(LightKind, Item32ChoosesPositionalOrDirectional)
{
    Items items = basicLight();
    items.ints[item::light::Directional] = {GetParam().item32};
    osg::ref_ptr<VisLightObject> object = addLight(items);
    expectVec4(object->light()->getPosition(), GetParam().position);
    EXPECT_EQ(object->light()->getDirection(), osg::Vec3(1.f, 0.f, 0.f));
}

INSTANTIATE_TEST_SUITE_P(Rows, LightKind,
                         ::testing::Values(LightKindRow{0, {0.f, 0.f, 0.f, 1.f}},
                                           LightKindRow{1, {-10.f, 0.f, 0.f, 0.f}},
                                           LightKindRow{-4, {-10.f, 0.f, 0.f, 0.f}}));

struct ClampRow
{
    int item;
    float sent;
    float applied;
};

// Values OpenGL would refuse with an error are made acceptable.
class LightValueLimits : public LightObjectTest, public ::testing::WithParamInterface<ClampRow>
{
};

TEST_P(LightValueLimits, OutOfRangeValuesBecomeOnesOpenGlTakes)
{
    const ClampRow& row = GetParam();
    Items items = basicLight();
    items.floats[row.item] = {row.sent};
    osg::ref_ptr<VisLightObject> object = addLight(items);
    const osg::Light& light = *object->light();
    float applied = 0.f;
    switch (row.item) {
    case item::light::SpotCutoff:
        applied = light.getSpotCutoff();
        break;
    case item::light::ConstantAttenuation:
        applied = light.getConstantAttenuation();
        break;
    default:
        applied = light.getQuadraticAttenuation();
        break;
    }
    EXPECT_FLOAT_EQ(applied, row.applied);
}

constexpr float NOT_A_NUMBER = std::numeric_limits<float>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(Rows, LightValueLimits,
                         ::testing::Values(ClampRow{item::light::SpotCutoff, 0.f, 0.f},
                                           ClampRow{item::light::SpotCutoff, 90.f, 90.f},
                                           ClampRow{item::light::SpotCutoff, 180.f, 180.f},
                                           ClampRow{item::light::SpotCutoff, 120.f, 180.f},
                                           ClampRow{item::light::SpotCutoff, -5.f, 0.f},
                                           ClampRow{item::light::SpotCutoff, NOT_A_NUMBER, 180.f},
                                           ClampRow{item::light::ConstantAttenuation, -1.f, 0.f},
                                           ClampRow{item::light::QuadraticAttenuation, NOT_A_NUMBER,
                                                    0.f},
                                           ClampRow{item::light::QuadraticAttenuation, 3.f, 3.f}));

TEST_F(LightObjectTest, FailedBuildPrintsTheLinesAndRetriesOnTheNextUpdate)
{
    Items first;
    first.ints[item::light::Diffuse] = {0, 0, 255};
    osg::ref_ptr<VisLightObject> object = new VisLightObject(ObjectContext{});
    root->addChild(object.get());

    const std::unique_ptr<GNP2::Packet> packet = makePacket(first);
    const std::string printed = printedBy([&] { object->initialize(*packet); });
    EXPECT_EQ(printed, exceptionLines(item::light::Directional) +
                           "An error occured while initializing VisLightObject. Object will be "
                           "skipped!\n" +
                           exceptionLines(item::light::Directional));
    EXPECT_FALSE(object->isInitialized());
    EXPECT_EQ(object->getTransform()->getNumChildren(), 0u);
    EXPECT_EQ(root->getStateSet(), nullptr);

    // The manager's update of the same packet retries and fails the same way.
    printedBy([&] { object->update(*packet); });
    object->getPacket().clearChanged();
    EXPECT_FALSE(object->isInitialized());

    Items second;
    second.ints[item::light::Directional] = {1};
    const std::string quiet = printedBy([&] { deliver(*object, second, false); });
    EXPECT_EQ(quiet, "");
    ASSERT_TRUE(object->isInitialized());
    // Built from the merged state: the first packet's colour is there.
    expectVec4(object->light()->getDiffuse(), {0.f, 0.f, 1.f, 1.f});
    expectVec4(object->light()->getPosition(), {-10.f, 0.f, 0.f, 0.f});
    EXPECT_EQ(modeOf(*root, object->lightNumber()), osg::StateAttribute::ON);
    EXPECT_EQ(object->getTransform()->getNumChildren(), 1u);
}

TEST_F(LightObjectTest, MalformedUpdateIsReportedAndChangesNothing)
{
    Items items = basicLight();
    items.ints[item::light::Ambient] = {10, 10, 10};
    osg::ref_ptr<VisLightObject> object = addLight(items);

    Items bad;
    bad.ints[item::light::Ambient] = {200, 200, 200};
    bad.ints[item::light::Specular] = {1, 2}; // one short
    std::string printed;
    EXPECT_NO_THROW(printed = printedBy([&] { deliver(*object, bad, false); }));
    EXPECT_EQ(printed, exceptionLines(item::light::Specular) +
                           "An error occured while updating VisLightObject. Object will be "
                           "skipped!\n" +
                           exceptionLines(item::light::Specular));
    expectVec4(object->light()->getAmbient(), {10.f / 255.f, 10.f / 255.f, 10.f / 255.f, 1.f});
    EXPECT_TRUE(object->isInitialized());
}

} // namespace
