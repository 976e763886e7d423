// Smoke, fire, rain and fog drawn by the scene graph in a window on the X
// display and read back, with a fixed frame time: the particles show up, the
// smoke is textured, the fog fades a far box into its colour and leaves a
// near one.
//   xvfb-run -a -s "-screen 0 1280x1024x24" ctest -L gl -R Effects

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include <osg/Geode>
#include <osg/GraphicsContext>
#include <osg/Image>
#include <osg/MatrixTransform>
#include <osg/ShapeDrawable>
#include <osg/State>
#include <osgParticle/ParticleEffect>
#include <osgParticle/ParticleSystem>
#include <osgViewer/Viewer>

#include "EffectTestSupport.h"
#include "files/ProgramPaths.h"
#include "tests/support/GlHarness.h"
#include "tests/support/Pictures.h"

namespace {

constexpr int WIDTH = 320;
constexpr int HEIGHT = 240;
constexpr double FRAME_TIME = 1.0 / 30.0;
const osg::Vec4 BACKGROUND(0.1f, 0.1f, 0.3f, 1.f);

osg::Vec3 rgb(const osg::Vec4& c)
{
    return {c.r(), c.g(), c.b()};
}

osg::Vec3 colourAt(const osg::Image& image, int x, int y)
{
    return rgb(image.getColor(unsigned(x), unsigned(y)));
}

std::string text(const osg::Vec3& c)
{
    return testsupport::text(testsupport::rgbOfColour({c, 1.f}));
}

// How far a picture is from the background: the pixels that differ visibly,
// and the summed difference.
struct Coverage
{
    int pixels = 0;
    double amount = 0.0;
};

Coverage coverage(const osg::Image& image)
{
    Coverage result;
    for (int y = 0; y < image.t(); ++y)
        for (int x = 0; x < image.s(); ++x) {
            const float difference = (colourAt(image, x, y) - rgb(BACKGROUND)).length();
            result.pixels += difference > 0.03f ? 1 : 0;
            result.amount += difference;
        }
    return result;
}

// Reads the picture back once the camera has drawn, before the swap.
class Capture : public osg::Camera::DrawCallback
{
public:
    explicit Capture(osg::Image* image) : _image(image) {}
    void operator()(osg::RenderInfo&) const override
    {
        _image->readPixels(0, 0, WIDTH, HEIGHT, GL_RGB, GL_UNSIGNED_BYTE);
    }

private:
    osg::ref_ptr<osg::Image> _image;
};

// A viewer drawing into an undecorated window, single threaded, with a fixed
// camera and the time advanced by hand. (Not a pbuffer: under Xvfb with the
// software renderer every buffer swap of one failed with an X error, and the
// rain drew nothing.) The program's data folders are on the data path, as
// the program puts them there at start-up.
class EffectsRendering : public ::testing::Test
{
protected:
    void SetUp() override
    {
        programpaths::addDataDirectoriesToSearchPath();
        osg::ref_ptr<osg::GraphicsContext::Traits> traits = new osg::GraphicsContext::Traits;
        traits->readDISPLAY();
        traits->setUndefinedScreenDetailsToDefaultScreen();
        traits->width = WIDTH;
        traits->height = HEIGHT;
        traits->windowDecoration = false;
        traits->doubleBuffer = true;
        traits->alpha = 8;
        context = osg::GraphicsContext::createGraphicsContext(traits.get());
        ASSERT_TRUE(context.valid()) << "no OpenGL window on this display";

        osg::Camera* camera = viewer.getCamera();
        camera->setGraphicsContext(context.get());
        camera->setViewport(0, 0, WIDTH, HEIGHT);
        camera->setDrawBuffer(GL_BACK);
        camera->setReadBuffer(GL_BACK);
        camera->setClearColor(BACKGROUND);
        camera->setComputeNearFarMode(osg::CullSettings::DO_NOT_COMPUTE_NEAR_FAR);
        camera->setProjectionMatrixAsPerspective(40.0, double(WIDTH) / HEIGHT, 0.1, 500.0);
        camera->setFinalDrawCallback(new Capture(picture.get()));
        lookFrom({0, -12, 2}, {0, 0, 2});
        viewer.setThreadingModel(osgViewer::Viewer::SingleThreaded);
        viewer.setSceneData(root.get());
        viewer.realize();
        ASSERT_TRUE(viewer.isRealized());
        testsupport::glErrors().clear();
        context->getState()->setCheckForGLErrors(osg::State::ONCE_PER_ATTRIBUTE);
    }

    void TearDown() override { testsupport::expectNoGlErrors(); }

    void lookFrom(const osg::Vec3d& eye, const osg::Vec3d& centre)
    {
        viewer.getCamera()->setViewMatrixAsLookAt(eye, centre, osg::Vec3d(0, 0, 1));
    }

    // Draws `count` frames, each FRAME_TIME after the last; the picture holds
    // the last one.
    const osg::Image& frames(int count)
    {
        for (int i = 0; i < count; ++i) {
            time += FRAME_TIME;
            viewer.frame(time);
        }
        return *picture;
    }

    osg::ref_ptr<osg::GraphicsContext> context;
    osgViewer::Viewer viewer;
    osg::ref_ptr<osg::Group> root = new osg::Group;
    osg::ref_ptr<osg::Image> picture = new osg::Image;
    double time = 0.0;
};

osg::ref_ptr<VisParticleEffectObject> particles(int kind, float intensity)
{
    using Effect = VisParticleEffectObject;
    return effecttest::create<Effect>({{{item::particle_effect::Intensity, {intensity}},
                                        {item::particle_effect::LifeTime, {3.f}}},
                                       {{item::particle_effect::Effect, {kind}}}});
}

class ParticleRendering : public EffectsRendering, public ::testing::WithParamInterface<int>
{
};

TEST_P(ParticleRendering, ParticlesAppearOverTime)
{
    root->addChild(particles(GetParam(), 4.f).get());
    const Coverage first = coverage(frames(1));
    const Coverage later = coverage(frames(60));
    testsupport::keepPicture(*picture, "effects_particles_" + std::to_string(GetParam()));
    EXPECT_GT(later.pixels, 500) << "after 2 s";
    EXPECT_GT(later.pixels, 2 * first.pixels);
}

INSTANTIATE_TEST_SUITE_P(SmokeAndFire, ParticleRendering,
                         ::testing::Values(0, VisParticleEffectObject::FIRE));

TEST_F(EffectsRendering, DriftingSmokeLeavesTheSceneBoundAtTheEmitter)
{
    // The camera that frames the scene follows the scene's bound: smoke
    // blown along by the wind must not move it, while moving the emitter does.
    using Effect = VisParticleEffectObject;
    osg::ref_ptr<Effect> object = particles(0, 4.f);
    effecttest::send(*object, {{{item::particle_effect::Wind, {6.f, 0.f, 0.f}},
                                {item::placement::Position, {1.f, 0.f, 0.f}},
                                {item::particle_effect::EffectScale, {0.5f}}},
                               {}});
    root->addChild(object.get());
    frames(1);
    const osg::BoundingSphere before = root->getBound();
    const Coverage drawn = coverage(frames(60));
    EXPECT_GT(drawn.pixels, 500) << "the smoke was not drawn";
    const osg::BoundingSphere after = root->getBound();
    EXPECT_EQ(after.center(), before.center());
    EXPECT_EQ(after.radius(), before.radius());
    EXPECT_NEAR((after.center() - osg::Vec3(1.f, 0.f, 0.f)).length(), 0.f, 1e-5f);
    EXPECT_NEAR(after.radius(), 0.5f, 1e-5f);

    effecttest::send(*object, {{{item::placement::Position, {-2.f, 0.f, 1.f}}}, {}});
    EXPECT_NEAR((root->getBound().center() - osg::Vec3(-2.f, 0.f, 1.f)).length(), 0.f, 1e-5f);
}

TEST_F(EffectsRendering, SmokeParticlesAreTexturedPuffsNotSquares)
{
    // The same particles twice (the particle system draws its random numbers
    // from rand()), once with texturing switched off: the soft puffs cover
    // less than the flat squares.
    const auto render = [&](bool textured) {
        root->removeChildren(0, root->getNumChildren());
        osg::ref_ptr<VisParticleEffectObject> object = particles(0, 4.f);
        if (!textured)
            object->effect()->getParticleSystem()->getOrCreateStateSet()->setTextureMode(
                0, GL_TEXTURE_2D, osg::StateAttribute::OFF | osg::StateAttribute::OVERRIDE);
        root->addChild(object.get());
        time = 0.0;
        std::srand(7);
        const Coverage result = coverage(frames(45));
        testsupport::keepPicture(*picture,
                                 textured ? "effects_smoke_textured" : "effects_smoke_flat");
        return result;
    };
    const Coverage flat = render(false);
    const Coverage puffs = render(true);
    ASSERT_GT(flat.pixels, 500);
    EXPECT_GT(puffs.pixels, 200);
    EXPECT_LT(puffs.amount, 0.8 * flat.amount);
}

TEST_F(EffectsRendering, RainFallsAroundTheViewer)
{
    using Weather = VisWeatherObject;
    lookFrom({0, 0, 0}, {0, 1, -0.2});
    root->addChild(effecttest::create<Weather>(
                       {{{item::weather::Intensity, {1.f}}, {item::weather::Wind, {2.f, 0.f}}},
                        {{item::weather::WeatherKind, {Weather::KIND_RAIN}},
                         {item::appearance::Colour, {255, 255, 255}}}})
                       .get());
    EXPECT_GT(coverage(frames(20)).pixels, 100);
    testsupport::keepPicture(*picture, "effects_rain");
}

// A red near box left of the centre and a red far box right of it, in a grey
// fog from 5 to 30.
class FogRendering : public EffectsRendering
{
protected:
    void build(int fogOn, osg::StateAttribute::GLModeValue farBoxFog)
    {
        using Weather = VisWeatherObject;
        lookFrom({0, 0, 0}, {0, 1, 0});
        root->addChild(box({-1.2f, 4.f, 0.f}, 1.f).get());
        osg::ref_ptr<osg::MatrixTransform> far = box({7.f, 28.f, 0.f}, 6.f);
        far->getOrCreateStateSet()->setMode(GL_FOG, farBoxFog);
        root->addChild(far.get());
        osg::ref_ptr<Weather> object = new Weather(ObjectContext{});
        root->addChild(object.get());
        effecttest::deliver(*object,
                            {{{item::weather::FogStart, {5.f}}, {item::weather::FogEnd, {30.f}}},
                             {{item::weather::WeatherKind, {Weather::KIND_FOG}},
                              {item::weather::FogOn, {fogOn}},
                              {item::appearance::Colour, {200, 200, 200}}}},
                            true);
    }

    // A box drawn unlit, so that its colour is exact.
    static osg::ref_ptr<osg::MatrixTransform> box(const osg::Vec3& centre, float size)
    {
        osg::ref_ptr<osg::ShapeDrawable> drawable =
            new osg::ShapeDrawable(new osg::Box(osg::Vec3(), size));
        drawable->setColor(RED);
        osg::ref_ptr<osg::Geode> geode = new osg::Geode;
        geode->addDrawable(drawable.get());
        geode->getOrCreateStateSet()->setMode(GL_LIGHTING, osg::StateAttribute::OFF);
        osg::ref_ptr<osg::MatrixTransform> placed = new osg::MatrixTransform;
        placed->setMatrix(osg::Matrixd::translate(centre));
        placed->addChild(geode.get());
        return placed;
    }

    osg::Vec3 nearBox() const { return colourAt(*picture, WIDTH / 4, HEIGHT / 2); }
    osg::Vec3 farBox() const { return colourAt(*picture, 3 * WIDTH / 4, HEIGHT / 2); }

    static inline const osg::Vec4 RED{1.f, 0.f, 0.f, 1.f};
    static inline const osg::Vec3 FOG{200.f / 255.f, 200.f / 255.f, 200.f / 255.f};
};

TEST_F(FogRendering, FarBoxFadesIntoTheFogNearBoxKeepsItsColour)
{
    build(1, osg::StateAttribute::INHERIT);
    frames(2);
    testsupport::keepPicture(*picture, "effects_fog");
    EXPECT_LT((nearBox() - rgb(RED)).length(), 0.05f) << text(nearBox());
    // Its front face lies at depth 25, a fifth of the fog's range before its
    // end: a fifth of its own colour is left.
    const osg::Vec3 mixed = rgb(RED) * 0.2f + FOG * 0.8f;
    EXPECT_LT((farBox() - mixed).length(), 0.05f) << text(farBox()) << " against " << text(mixed);
}

TEST_F(FogRendering, SwitchedOffItStaysOffBelowANodeThatSwitchesItOn)
{
    build(0, osg::StateAttribute::ON);
    frames(2);
    EXPECT_LT((farBox() - rgb(RED)).length(), 0.05f) << text(farBox());
}

} // namespace
