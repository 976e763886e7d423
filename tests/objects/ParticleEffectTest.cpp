// The smoke and fire object without a window: which effect it builds, how
// its items reach the effect and the transform, what a failed start prints,
// and that the effects find the shipped smoke texture.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include <osg/Image>
#include <osg/Texture2D>
#include <osgDB/FileUtils>
#include <osgDB/ReadFile>
#include <osgParticle/Emitter>
#include <osgParticle/FireEffect>
#include <osgParticle/ParticleSystem>
#include <osgParticle/SmokeEffect>

#include "EffectTestSupport.h"
#include "files/ProgramPaths.h"

namespace {

using effecttest::create;
using effecttest::send;
using Effect = VisParticleEffectObject;

struct EffectKindRow
{
    const char* name;
    int item89;
    bool fire;
};

class ParticleKind : public ::testing::TestWithParam<EffectKindRow>
{
};

TEST_P(ParticleKind, StartsAtRestAtTheOriginAndNeverStops)
{
    const EffectKindRow& row = GetParam();
    osg::ref_ptr<Effect> object =
        create<Effect>({{}, {{item::particle_effect::Effect, {row.item89}}}});
    ASSERT_TRUE(object->isInitialized());
    osgParticle::ParticleEffect* effect = object->effect();
    ASSERT_NE(effect, nullptr);
    EXPECT_EQ(dynamic_cast<osgParticle::FireEffect*>(effect) != nullptr, row.fire);
    EXPECT_EQ(dynamic_cast<osgParticle::SmokeEffect*>(effect) != nullptr, !row.fire);
    ASSERT_EQ(object->getTransform()->getNumChildren(), 1u);
    EXPECT_EQ(object->getTransform()->getChild(0), effect);
    EXPECT_EQ(effect->getPosition(), osg::Vec3(0.f, 0.f, 0.f));
    EXPECT_EQ(effect->getScale(), 1.f);
    EXPECT_EQ(effect->getIntensity(), 0.f);
    // The duration reached the emitter itself, not only the effect's field.
    EXPECT_EQ(effect->getEmitter()->getLifeTime(), Effect::EMITTER_DURATION);
    EXPECT_FALSE(object->isIntersectable());
}

INSTANTIATE_TEST_SUITE_P(Item89, ParticleKind,
                         ::testing::Values(EffectKindRow{"one_is_fire", 1, true},
                                           EffectKindRow{"zero_is_smoke", 0, false},
                                           EffectKindRow{"two_is_smoke", 2, false}),
                         effecttest::RowName());

TEST(ParticleEffectObject, ItemsGoIntoTheEffectAndOnlyThreeAndFourMoveTheTransform)
{
    osg::ref_ptr<Effect> object = create<Effect>({{}, {{item::particle_effect::Effect, {0}}}});
    send(*object, {{{item::particle_effect::Intensity, {2.5f}},
                    {item::particle_effect::LifeTime, {4.f}},
                    {item::particle_effect::EffectScale, {3.f}},
                    {item::particle_effect::Wind, {1.f, 2.f, -0.5f}},
                    {item::particle_effect::Position, {5.f, 6.f, 7.f}}},
                   {}});
    osgParticle::ParticleEffect* effect = object->effect();
    EXPECT_FLOAT_EQ(effect->getIntensity(), 2.5f);
    EXPECT_DOUBLE_EQ(effect->getParticleDuration(), 4.0);
    EXPECT_FLOAT_EQ(effect->getScale(), 3.f);
    EXPECT_EQ(effect->getWind(), osg::Vec3(1.f, 2.f, -0.5f));
    EXPECT_EQ(effect->getPosition(), osg::Vec3(5.f, 6.f, 7.f));
    EXPECT_TRUE(object->getTransform()->getMatrix().isIdentity());

    // A quarter turn about z, doubled; the effect keeps what it had.
    send(*object, {{{item::particle_effect::Orientation, {0.f, -1.f, 0.f, 1.f, 0.f, 0.f}},
                    {item::particle_effect::Scale, {2.f, 2.f, 2.f}}},
                   {}});
    const osg::Vec3d moved = osg::Vec3d(1.0, 0.0, 0.0) * object->getTransform()->getMatrix();
    EXPECT_NEAR((moved - osg::Vec3d(0.0, 2.0, 0.0)).length(), 0.0, 1e-6);
    EXPECT_FLOAT_EQ(effect->getScale(), 3.f);
    EXPECT_EQ(effect->getPosition(), osg::Vec3(5.f, 6.f, 7.f));
    EXPECT_FLOAT_EQ(effect->getIntensity(), 2.5f);
}

TEST(ParticleEffectObject, StartWithoutTheKindPrintsTheFailureAndIsBuiltLater)
{
    testing::internal::CaptureStdout();
    osg::ref_ptr<Effect> object = create<Effect>({{{item::particle_effect::Intensity, {2.f}},
                                                   {item::particle_effect::Wind, {0.f, 1.f, 0.f}}},
                                                  {}});
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_FALSE(object->isInitialized());
    EXPECT_EQ(object->getTransform()->getNumChildren(), 0u);
    EXPECT_NE(printed.find("An error occured while initializing VisParticleEffectObject. Object "
                           "will be skipped!\nRequested data not in packet or data size "
                           "mismatch!\nErrorNr: 89\n"),
              std::string::npos)
        << printed;

    // The kind arrives: the effect is built and takes the earlier items.
    send(*object, {{}, {{item::particle_effect::Effect, {1}}}});
    ASSERT_NE(dynamic_cast<osgParticle::FireEffect*>(object->effect()), nullptr);
    EXPECT_FLOAT_EQ(object->effect()->getIntensity(), 2.f);
    EXPECT_EQ(object->effect()->getWind(), osg::Vec3(0.f, 1.f, 0.f));
}

TEST(ParticleEffectObject, AShortItemFailsTheUpdateBeforeAnythingChanges)
{
    osg::ref_ptr<Effect> object = create<Effect>({{}, {{item::particle_effect::Effect, {0}}}});
    try {
        send(*object, {{{item::particle_effect::Intensity, {3.f}},
                        {item::particle_effect::Wind, {1.f, 2.f}}},
                       {}});
        ADD_FAILURE() << "a wind of two values was taken";
    } catch (const GNP2::GNP2Exception& error) {
        EXPECT_EQ(error.getErrorNumber(), item::particle_effect::Wind);
    }
    EXPECT_EQ(object->effect()->getIntensity(), 0.f);
}

TEST(SmokeTexture, BothEffectsDrawWithTheShippedSoftPuff)
{
    programpaths::addDataDirectoriesToSearchPath();
    for (int kind : {0, int(Effect::FIRE)}) {
        osg::ref_ptr<Effect> object =
            create<Effect>({{}, {{item::particle_effect::Effect, {kind}}}});
        const osg::StateSet* stateSet = object->effect()->getParticleSystem()->getStateSet();
        const auto* texture = dynamic_cast<const osg::Texture2D*>(
            stateSet->getTextureAttribute(0, osg::StateAttribute::TEXTURE));
        ASSERT_TRUE(texture && texture->getImage())
            << "kind " << kind << " has no texture: the particles would be flat squares";
    }

    osg::ref_ptr<osg::Image> image = osgDB::readRefImageFile("Images/smoke.rgb");
    ASSERT_NE(image, nullptr);
    ASSERT_EQ(image->getPixelFormat(), GLenum(GL_RGBA));
    const int size = image->s();
    float border = 0.f, centre = 0.f, darkest = 1.f;
    int soft = 0, centrePixels = 0;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const osg::Vec4 c = image->getColor(unsigned(x), unsigned(y));
            if (x == 0 || y == 0 || x == size - 1 || y == size - 1)
                border = std::max(border, c.a());
            if (std::abs(x - size / 2) < size / 8 && std::abs(y - size / 2) < size / 8) {
                centre += c.a();
                ++centrePixels;
            }
            soft += c.a() > 0.1f && c.a() < 0.9f ? 1 : 0;
            if (c.a() > 0.1f)
                darkest = std::min(darkest, c.r());
        }
    EXPECT_EQ(border, 0.f) << "a visible edge would show the square";
    EXPECT_GT(centre / float(centrePixels), 0.6f);
    EXPECT_GT(soft, size * size / 8) << "a wide soft rim, not a hard disc";
    EXPECT_GT(darkest, 0.7f) << "light, so that the particle colour tints it";
}

} // namespace
