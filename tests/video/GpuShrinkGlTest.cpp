// The off-screen buffer's shrink before read-back: a frame drawn at twice
// the size and halved on the GPU against the same frame read whole and
// halved on the processor, over a picture whose every pixel differs from
// its neighbours, so that a shifted, flipped or wrongly weighted shrink
// shows.
#include <gtest/gtest.h>

#include <osg/Camera>
#include <osg/Geometry>
#include <osg/Texture2D>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "ExportFixture.h"
#include "net/PacketRing.h"
#include "scene/ObjectManager.h"
#include "view/CompositeViewerQOSG.h"
#include "view/FrameGrabber.h"
#include "view/ImageShrink.h"
#include "view/ViewerManager.h"

using namespace videotest;

namespace {

// A camera that covers its view with `image`, texel for pixel where the
// view is as large as the image.
osg::ref_ptr<osg::Camera> patternCamera(osg::Image* image)
{
    osg::ref_ptr<osg::Texture2D> texture = new osg::Texture2D(image);
    texture->setFilter(osg::Texture::MIN_FILTER, osg::Texture::NEAREST);
    texture->setFilter(osg::Texture::MAG_FILTER, osg::Texture::NEAREST);
    texture->setResizeNonPowerOfTwoHint(false);
    osg::ref_ptr<osg::Geometry> quad =
        osg::createTexturedQuadGeometry(osg::Vec3(0, 0, 0), osg::Vec3(1, 0, 0), osg::Vec3(0, 1, 0));
    osg::StateSet* state = quad->getOrCreateStateSet();
    state->setTextureAttributeAndModes(0, texture.get());
    state->setMode(GL_LIGHTING, osg::StateAttribute::OFF | osg::StateAttribute::PROTECTED);
    state->setMode(GL_DEPTH_TEST, osg::StateAttribute::OFF);

    osg::ref_ptr<osg::Camera> camera = new osg::Camera;
    camera->setReferenceFrame(osg::Transform::ABSOLUTE_RF);
    camera->setComputeNearFarMode(osg::CullSettings::DO_NOT_COMPUTE_NEAR_FAR);
    camera->setProjectionMatrixAsOrtho2D(0, 1, 0, 1);
    camera->setViewMatrix(osg::Matrix::identity());
    camera->setClearMask(0);
    camera->setRenderOrder(osg::Camera::POST_RENDER, 100);
    camera->addChild(quad.get());
    return camera;
}

// Pseudo-random opaque BGRA pixels.
osg::ref_ptr<osg::Image> noise(int width, int height)
{
    osg::ref_ptr<osg::Image> image = new osg::Image;
    image->allocateImage(width, height, 1, GL_BGRA, GL_UNSIGNED_BYTE);
    image->setInternalTextureFormat(GL_RGBA8);
    std::uint32_t state = 2463534242u;
    for (int y = 0; y < height; ++y) {
        unsigned char* p = image->data(0, unsigned(y));
        for (int x = 0; x < width; ++x, p += 4) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            p[0] = static_cast<unsigned char>(state);
            p[1] = static_cast<unsigned char>(state >> 8);
            p[2] = static_cast<unsigned char>(state >> 16);
            p[3] = 255;
        }
    }
    return image;
}

// The largest difference of a colour channel between two pictures of the
// same size, and where it is.
std::string worstDifference(const osg::Image& a, const osg::Image& b, int& worst)
{
    worst = 0;
    std::string where;
    for (int y = 0; y < a.t(); ++y) {
        for (int x = 0; x < a.s(); ++x) {
            for (int channel = 0; channel < 3; ++channel) {
                const int difference =
                    std::abs(int(a.data(x, y)[channel]) - int(b.data(x, y)[channel]));
                if (difference > worst) {
                    worst = difference;
                    where = "at pixel " + std::to_string(x) + ", " + std::to_string(y);
                }
            }
        }
    }
    return where;
}

struct ShrinkCase
{
    const char* name;
    int width; // of the shrunk picture
    int height;
};

class GpuShrinkTest : public ExportTest, public ::testing::WithParamInterface<ShrinkCase>
{
};

TEST_P(GpuShrinkTest, EqualsTheSameFrameHalvedOnTheProcessor)
{
    const ShrinkCase c = GetParam();
    const int bufferWidth = 2 * c.width, bufferHeight = 2 * c.height;
    // The replay's view is made from its first records.
    _host->objects().setReplayFeedPause(0);
    _host->objects().replayTick(0.f);
    while (!_host->objects().receiveRing().empty())
        _host->objects().updateCallback().runOnce();
    ViewerManager& viewer = _host->viewer();
    viewer.sceneRoot()->addChild(patternCamera(noise(bufferWidth, bufferHeight).get()));
    ASSERT_TRUE(viewer.beginOffscreen(bufferWidth, bufferHeight)) << viewer.offscreenError();
    osg::ref_ptr<view::FrameGrabber> grabber = new view::FrameGrabber;
    viewer.offscreenContext()->setSwapCallback(grabber.get());
    auto grab = [&](int shrink, bool onGpu) {
        grabber->setShrinkOnSoftwareRenderer(onGpu);
        grabber->arm(bufferWidth, bufferHeight, GL_BGRA, shrink);
        viewer.viewer()->frame();
        EXPECT_FALSE(grabber->readFailed());
        return grabber->take();
    };
    const osg::ref_ptr<osg::Image> onGpu = grab(2, true);
    // Read in strips and halved where the renderer draws on the processor.
    const osg::ref_ptr<osg::Image> asRead = grab(2, false);
    const osg::ref_ptr<osg::Image> whole = grab(1, false);
    viewer.endOffscreen();

    ASSERT_TRUE(onGpu && asRead && whole);
    ASSERT_EQ(whole->s(), bufferWidth);
    // The pattern was drawn: most neighbours differ.
    int differing = 0;
    for (int x = 1; x < bufferWidth; ++x)
        differing += *reinterpret_cast<const std::uint32_t*>(whole->data(x, 0)) !=
                     *reinterpret_cast<const std::uint32_t*>(whole->data(x - 1, 0));
    ASSERT_GE(2 * differing, bufferWidth - 1);
    osg::ref_ptr<osg::Image> halved = new osg::Image;
    ASSERT_TRUE(view::halveImage(*whole, *halved));
    for (const osg::Image* picture : {onGpu.get(), asRead.get(), halved.get()}) {
        ASSERT_EQ(picture->s(), c.width);
        ASSERT_EQ(picture->t(), c.height);
    }
    int worst = 0;
    std::string where = worstDifference(*onGpu, *halved, worst);
    EXPECT_LE(worst, 2) << "GPU against the whole picture halved, " << where;
    where = worstDifference(*onGpu, *asRead, worst);
    EXPECT_LE(worst, 2) << "GPU against the picture halved as read, " << where;
}

// Even and odd sizes; odd widths leave a last pixel after the groups of
// two that the processor averages at once, and the tall and wide ones are
// read in several strips, the last one shorter.
const ShrinkCase SHRINK_CASES[] = {
    {"Even", 160, 120},   {"OddWidthAndHeight", 161, 97}, {"OnePixelWide", 1, 7},
    {"WideOdd", 801, 31}, {"TallOdd", 33, 1025},
};

INSTANTIATE_TEST_SUITE_P(Sizes, GpuShrinkTest, ::testing::ValuesIn(SHRINK_CASES),
                         [](const ::testing::TestParamInfo<ShrinkCase>& row) {
                             return std::string(row.param.name);
                         });

} // namespace
