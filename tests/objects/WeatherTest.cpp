// The weather object without a window: rain slants its transform with the
// wind, snow takes the wind into the effect, both set their particles on top
// of the presets, fog goes onto the parent's state set and wins over nodes
// below it, and other kinds change nothing.

#include <gtest/gtest.h>

#include <string>

#include <osg/Geode>
#include <osg/Group>
#include <osg/State>
#include <osgParticle/PrecipitationEffect>

#include "EffectTestSupport.h"

namespace {

using effecttest::create;
using effecttest::Items;
using effecttest::send;
using Weather = VisWeatherObject;
using Mode = osg::StateAttribute::GLModeValue;

constexpr float BYTE = 1.f / 255.f;

Items weather(int kind, float intensity, std::vector<float> wind, std::vector<int> colour)
{
    return {{{item::weather::Intensity, {intensity}}, {item::weather::Wind, std::move(wind)}},
            {{item::weather::WeatherKind, {kind}}, {item::weather::Colour, std::move(colour)}}};
}

Items fogItems(int on, std::vector<int> colour = {90, 90, 90})
{
    return {{{item::weather::FogStart, {5.f}}, {item::weather::FogEnd, {30.f}}},
            {{item::weather::WeatherKind, {Weather::KIND_FOG}},
             {item::weather::FogOn, {on}},
             {item::weather::Colour, std::move(colour)}}};
}

void expectParticles(const osgParticle::PrecipitationEffect& effect, float speed, float size,
                     float density, const osg::Vec4& colour)
{
    EXPECT_EQ(effect.getParticleSpeed(), speed);
    EXPECT_EQ(effect.getParticleSize(), size);
    EXPECT_EQ(effect.getMaximumParticleDensity(), density);
    for (int k = 0; k < 4; ++k)
        EXPECT_NEAR(effect.getParticleColor()[k], colour[k], 1e-6) << "component " << k;
}

TEST(WeatherObject, OwnTransformKeepsOutOfTheShadowPasses)
{
    osg::ref_ptr<Weather> object = create<Weather>({{}, {{item::weather::WeatherKind, {7}}}});
    ASSERT_EQ(object->getNumChildren(), 1u);
    osg::MatrixTransform* transform = object->weatherTransform();
    EXPECT_EQ(object->getChild(0), transform);
    ASSERT_EQ(transform->getNumChildren(), 1u);
    EXPECT_EQ(transform->getChild(0), object->effect());
    EXPECT_EQ(transform->getNodeMask(), ~osg::Node::NodeMask(0x1E));
}

struct SlantRow
{
    const char* name;
    std::vector<float> wind;
};

class RainSlant : public ::testing::TestWithParam<SlantRow>
{
};

TEST_P(RainSlant, TurnsStraightDownIntoTheWind)
{
    const std::vector<float>& wind = GetParam().wind;
    osg::ref_ptr<Weather> object =
        create<Weather>(weather(Weather::KIND_RAIN, 0.7f, wind, {10, 20, 30}));
    const osg::Matrixd matrix = object->weatherTransform()->getMatrix();
    osg::Vec3d slant(wind[0], wind[1], Weather::RAIN_FALL);
    slant.normalize();
    const osg::Vec3d down = osg::Matrixd::transform3x3(osg::Vec3d(0, 0, -1), matrix);
    EXPECT_NEAR((down - slant).length(), 0.0, 1e-6);
    // A pure rotation: lengths kept, nothing moved.
    EXPECT_NEAR(osg::Matrixd::transform3x3(osg::Vec3d(1, 0, 0), matrix).length(), 1.0, 1e-6);
    EXPECT_EQ(matrix.getTrans(), osg::Vec3d());

    // A new wind turns it from straight down again, not from the old slant.
    send(*object, {{{item::weather::Wind, {0.f, 0.f}}}, {}});
    EXPECT_TRUE(object->weatherTransform()->getMatrix().isIdentity());
}

INSTANTIATE_TEST_SUITE_P(Wind, RainSlant,
                         ::testing::Values(SlantRow{"calm", {0.f, 0.f}},
                                           SlantRow{"east", {5.f, 0.f}},
                                           SlantRow{"south_west", {-3.f, -4.f}},
                                           SlantRow{"storm", {-20.f, 20.f}},
                                           SlantRow{"third_value_ignored", {2.f, 1.f, 50.f}}),
                         effecttest::RowName());

TEST(WeatherObject, RainSetsItsParticlesOnTopOfThePresetAtEveryUpdate)
{
    osg::ref_ptr<Weather> object =
        create<Weather>(weather(Weather::KIND_RAIN, 0.8f, {1.f, 2.f}, {51, 102, 255}));
    const osg::Vec4 colour(51 * BYTE, 102 * BYTE, 1.f, 0.6f);
    expectParticles(*object->effect(), 20.f, 0.02f, 0.8f, colour);
    send(*object, {{{item::weather::Intensity, {0.2f}}}, {}});
    expectParticles(*object->effect(), 20.f, 0.02f, 0.2f, colour);
}

TEST(WeatherObject, RepeatedWeatherLeavesTheFallingParticlesAlone)
{
    // A preset throws away the particle cells drawn so far. Changing only the
    // rain's wind, or sending the same values again, must not call it; a new
    // intensity, colour or kind must.
    osg::ref_ptr<Weather> object =
        create<Weather>(weather(Weather::KIND_RAIN, 0.8f, {1.f, 2.f}, {51, 102, 255}));
    osgParticle::PrecipitationEffect& effect = *object->effect();
    // A size that a preset or the values set on top of it would reset.
    const auto mark = [&] { effect.setParticleSize(1.5f); };
    const auto untouched = [&] { return effect.getParticleSize() == 1.5f; };
    mark();
    send(*object, {{{item::weather::Wind, {-3.f, 0.f}}}, {}});
    EXPECT_TRUE(untouched()) << "a new rain wind only turns the transform";
    send(*object, weather(Weather::KIND_RAIN, 0.8f, {-3.f, 0.f}, {51, 102, 255}));
    EXPECT_TRUE(untouched()) << "the same rain again";

    for (const Items& change :
         {Items{{{item::weather::Intensity, {0.5f}}}, {}},
          Items{{}, {{item::weather::Colour, {0, 0, 0}}}},
          Items{{{item::weather::Wind, {1.f, 1.f, 1.f}}},
                {{item::weather::WeatherKind, {Weather::KIND_SNOW}}}},
          Items{{{item::weather::Wind, {2.f, 1.f, 1.f}}}, {}}}) { // snow drifts with the wind
        mark();
        send(*object, change);
        EXPECT_FALSE(untouched());
    }
}

TEST(WeatherObject, SnowTakesTheWindIntoTheEffectAndDoesNotTilt)
{
    osg::ref_ptr<Weather> object =
        create<Weather>(weather(Weather::KIND_SNOW, 0.5f, {3.f, 4.f, 1.f}, {255, 255, 204}));
    EXPECT_TRUE(object->weatherTransform()->getMatrix().isIdentity());
    EXPECT_EQ(object->effect()->getWind(), osg::Vec3(3.f, 4.f, 1.f));
    expectParticles(*object->effect(), 1.f, 0.05f, 0.5f, {1.f, 1.f, 204 * BYTE, 0.6f});

    // After rain, snow leaves the transform where the rain turned it.
    send(*object, weather(Weather::KIND_RAIN, 0.5f, {6.f, 0.f, 0.f}, {255, 255, 204}));
    const osg::Matrixd slanted = object->weatherTransform()->getMatrix();
    ASSERT_FALSE(slanted.isIdentity());
    send(*object, {{{item::weather::Wind, {-6.f, 2.f, 0.f}}}, {{item::weather::WeatherKind, {1}}}});
    EXPECT_EQ(object->weatherTransform()->getMatrix(), slanted);
    EXPECT_EQ(object->effect()->getWind(), osg::Vec3(-6.f, 2.f, 0.f));
}

// The value of a mode as a drawable at the end of `path` gets it: the state
// sets along the path pushed in order, with the scene graph's own rules for
// override (as the cull traversal collects them).
Mode effectiveMode(const osg::NodePath& path, GLenum mode)
{
    osg::ref_ptr<osg::State> state = new osg::State;
    for (osg::Node* node : path)
        state->pushStateSet(node->getStateSet());
    osg::ref_ptr<osg::StateSet> captured = new osg::StateSet;
    state->captureCurrentState(*captured);
    return captured->getMode(mode) & (osg::StateAttribute::ON | osg::StateAttribute::OFF);
}

// A scene root with the weather object and, beside it, a branch whose group
// may switch fog itself.
struct FogScene
{
    FogScene()
    {
        root->addChild(object.get());
        root->addChild(branch.get());
        branch->addChild(leaf.get());
    }
    Mode seenByLeaf() const
    {
        return effectiveMode({root.get(), branch.get(), leaf.get()}, GL_FOG);
    }

    osg::ref_ptr<osg::Group> root = new osg::Group;
    osg::ref_ptr<Weather> object = new Weather(ObjectContext{});
    osg::ref_ptr<osg::Group> branch = new osg::Group;
    osg::ref_ptr<osg::Geode> leaf = new osg::Geode;
};

TEST(WeatherFog, LinearFogOnTheParentsStateSet)
{
    FogScene scene;
    effecttest::deliver(*scene.object, fogItems(1, {0, 128, 255}), true);
    const osg::StateSet* stateSet = scene.root->getStateSet();
    ASSERT_NE(stateSet, nullptr);
    const auto* fog =
        dynamic_cast<const osg::Fog*>(stateSet->getAttribute(osg::StateAttribute::FOG));
    ASSERT_EQ(fog, scene.object->fog());
    EXPECT_EQ(fog->getMode(), osg::Fog::LINEAR);
    EXPECT_EQ(fog->getFogCoordinateSource(), GLint(osg::Fog::FRAGMENT_DEPTH));
    EXPECT_EQ(fog->getStart(), 5.f);
    EXPECT_EQ(fog->getEnd(), 30.f);
    const osg::Vec4 colour(0.f, 128 * BYTE, 1.f, 1.f);
    EXPECT_NEAR((fog->getColor() - colour).length(), 0.f, 1e-6);
    EXPECT_EQ(stateSet->getMode(GL_FOG), osg::StateAttribute::ON | osg::StateAttribute::OVERRIDE);
    // Nothing falls in a fog.
    EXPECT_EQ(scene.object->effect()->getMaximumParticleDensity(), 0.f);
}

struct SwitchRow
{
    const char* name;
    int item52;
    Mode below;
    Mode seen;
};

class FogSwitch : public ::testing::TestWithParam<SwitchRow>
{
};

TEST_P(FogSwitch, WinsOverTheNodesBelow)
{
    const SwitchRow& row = GetParam();
    FogScene scene;
    scene.branch->getOrCreateStateSet()->setMode(GL_FOG, row.below);
    effecttest::deliver(*scene.object, fogItems(row.item52), true);
    EXPECT_EQ(scene.root->getStateSet()->getMode(GL_FOG), row.seen | osg::StateAttribute::OVERRIDE);
    EXPECT_EQ(scene.seenByLeaf(), row.seen);
}

INSTANTIATE_TEST_SUITE_P(
    Item52, FogSwitch,
    ::testing::Values(
        SwitchRow{"off_below_on", 0, osg::StateAttribute::ON, osg::StateAttribute::OFF},
        SwitchRow{"on_below_off", 1, osg::StateAttribute::OFF, osg::StateAttribute::ON},
        SwitchRow{"any_nonzero_is_on", -3, osg::StateAttribute::OFF, osg::StateAttribute::ON}),
    effecttest::RowName());

TEST(WeatherFog, WaitsForAParentAndLeavesWithItsObject)
{
    osg::ref_ptr<osg::Group> root = new osg::Group;
    osg::ref_ptr<Weather> first = create<Weather>(fogItems(1));
    root->addChild(first.get());
    ASSERT_EQ(root->getStateSet(), nullptr);
    send(*first, {{}, {{item::weather::FogOn, {1}}}});
    ASSERT_NE(root->getStateSet(), nullptr);
    EXPECT_EQ(root->getStateSet()->getAttribute(osg::StateAttribute::FOG), first->fog());

    // A second fog takes the first one's place; the first going leaves it.
    osg::ref_ptr<Weather> second = new Weather(ObjectContext{});
    root->addChild(second.get());
    effecttest::deliver(*second, fogItems(0), true);
    first = nullptr;
    root->removeChild(0u);
    EXPECT_EQ(root->getStateSet()->getAttribute(osg::StateAttribute::FOG), second->fog());
    EXPECT_EQ(root->getStateSet()->getMode(GL_FOG),
              osg::StateAttribute::OFF | osg::StateAttribute::OVERRIDE);
    // The last one takes its fog with it.
    second = nullptr;
    root->removeChild(0u);
    EXPECT_EQ(root->getStateSet()->getAttribute(osg::StateAttribute::FOG), nullptr);
    EXPECT_EQ(root->getStateSet()->getMode(GL_FOG), Mode(osg::StateAttribute::INHERIT));
}

// Everything the weather kinds set, to compare before and after.
struct Snapshot
{
    Snapshot(const Weather& object, const osg::Group& root)
        : matrix(object.weatherTransform()->getMatrix()), wind(object.effect()->getWind()),
          colour(object.effect()->getParticleColor()), fogColour(object.fog()->getColor()),
          speed(object.effect()->getParticleSpeed()),
          density(object.effect()->getMaximumParticleDensity()), fogStart(object.fog()->getStart()),
          fogEnd(object.fog()->getEnd()), fogMode(root.getStateSet()->getMode(GL_FOG))
    {
    }
    bool operator==(const Snapshot&) const = default;

    osg::Matrixd matrix;
    osg::Vec3 wind;
    osg::Vec4 colour, fogColour;
    float speed, density, fogStart, fogEnd;
    Mode fogMode;
};

class UnknownKind : public ::testing::TestWithParam<int>
{
};

TEST_P(UnknownKind, ChangesNothing)
{
    FogScene scene;
    effecttest::deliver(*scene.object, fogItems(1, {40, 50, 60}), true);
    send(*scene.object, weather(Weather::KIND_RAIN, 0.6f, {4.f, 3.f}, {10, 20, 30}));
    const Snapshot before(*scene.object, *scene.root);

    Items changed = weather(GetParam(), 0.1f, {-9.f, 9.f, 9.f}, {250, 240, 230});
    changed.floats[item::weather::FogStart] = {1.f};
    changed.floats[item::weather::FogEnd] = {2.f};
    changed.ints[item::weather::FogOn] = {0};
    send(*scene.object, changed);
    EXPECT_TRUE(Snapshot(*scene.object, *scene.root) == before);
}

INSTANTIATE_TEST_SUITE_P(Item49, UnknownKind, ::testing::Values(3, -1, 255));

} // namespace
