// The off-screen buffer's shrink before read-back: a frame drawn at twice
// the size and halved on the GPU against the same frame halved on the
// processor as it is read, over noise, so that a shifted, flipped or
// wrongly weighted shrink shows.
#include <gtest/gtest.h>

#include <osg/Camera>
#include <osg/Geometry>
#include <osg/Texture2D>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>

#include "ExportFixture.h"
#include "net/PacketRing.h"
#include "scene/ObjectManager.h"
#include "view/CompositeViewerQOSG.h"
#include "view/FrameGrabber.h"
#include "view/ViewerManager.h"

using namespace videotest;

namespace {

// A camera that covers its view with width x height pseudo-random opaque
// texels, one a pixel where the view is as large.
osg::ref_ptr<osg::Camera> noiseCamera(int width, int height)
{
    osg::ref_ptr<osg::Image> image = new osg::Image;
    image->allocateImage(width, height, 1, GL_BGRA, GL_UNSIGNED_BYTE);
    image->setInternalTextureFormat(GL_RGBA8);
    std::uint32_t noise = 2463534242u;
    auto* pixels = reinterpret_cast<std::uint32_t*>(image->data());
    for (int i = 0; i < width * height; ++i) {
        noise ^= noise << 13;
        noise ^= noise >> 17;
        noise ^= noise << 5;
        pixels[i] = noise | 0xff000000u;
    }
    osg::ref_ptr<osg::Texture2D> texture = new osg::Texture2D(image.get());
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
    camera->setClearMask(0);
    camera->setRenderOrder(osg::Camera::POST_RENDER, 100);
    camera->addChild(quad.get());
    return camera;
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
    viewer.sceneRoot()->addChild(noiseCamera(bufferWidth, bufferHeight));
    ASSERT_TRUE(viewer.beginOffscreen(bufferWidth, bufferHeight)) << viewer.offscreenError();
    osg::ref_ptr<view::FrameGrabber> grabber = new view::FrameGrabber;
    viewer.offscreenContext()->setSwapCallback(grabber.get());
    auto grab = [&](view::FrameGrabber::ShrinkPlace place) {
        grabber->setShrinkPlace(place);
        grabber->arm(bufferWidth, bufferHeight, GL_BGRA, 2);
        viewer.viewer()->frame();
        EXPECT_FALSE(grabber->readFailed());
        return grabber->take();
    };
    const osg::ref_ptr<osg::Image> onGpu = grab(view::FrameGrabber::ShrinkPlace::Gpu);
    const osg::ref_ptr<osg::Image> asRead = grab(view::FrameGrabber::ShrinkPlace::Processor);
    viewer.endOffscreen();

    ASSERT_TRUE(onGpu && asRead);
    ASSERT_EQ(std::pair(onGpu->s(), onGpu->t()), std::pair(c.width, c.height));
    ASSERT_EQ(std::pair(asRead->s(), asRead->t()), std::pair(c.width, c.height));
    int worst = 0, differing = 0;
    for (int y = 0; y < c.height; ++y) {
        for (int x = 0; x < c.width; ++x) {
            const unsigned char* a = onGpu->data(x, y);
            differing += x > 0 && *reinterpret_cast<const std::uint32_t*>(a) !=
                                      *reinterpret_cast<const std::uint32_t*>(a - 4);
            for (int channel = 0; channel < 3; ++channel)
                worst =
                    std::max(worst, std::abs(int(a[channel]) - int(asRead->data(x, y)[channel])));
        }
    }
    // The noise was drawn: most neighbours differ.
    EXPECT_GE(2 * differing, c.height * (c.width - 1));
    EXPECT_LE(worst, 2);
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
