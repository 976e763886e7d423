// Shapes on screen, end to end: a simulation connects with the client
// library, creates a view looking at a red box and changes the box's
// appearance; the object manager applies the packets inside the viewer's
// frames and the picture in the main window is read back.
//   xvfb-run -a -s "-screen 0 1280x1024x24" ctest -L gl -R Shape

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <string>
#include <vector>

#include <osg/Camera>
#include <osg/Geode>
#include <osg/ShapeDrawable>
#include <osg/Viewport>
#include <osgViewer/View>

#include "objects/ShapeObjects.h"
#include "objects/VisBaseObject.h"
#include "scene/DrawablePurpose.h"
#include "scene/ObjectKinds.h"
#include "scene/SharedState.h"
#include "tests/support/GlHarness.h"
#include "tests/support/Packets.h"
#include "tests/support/Pictures.h"
#include "tests/support/SimulationHarness.h"
#include "view/ViewObjects.h"
#include "view/ViewerManager.h"
#include "view/VisViewObject.h"
#include "view/ViewParameters.h"

namespace {

using namespace std::chrono_literals;

constexpr int BOX = 1;
constexpr int VIEW = 100;
const osg::Vec3 BACKGROUND(0.f, 0.f, 1.f); // the view's clear colour, item 63 = 0 0 255

osg::Vec3 colourAt(const osg::Image& image, int x, int y)
{
    const osg::Vec4 c = image.getColor(unsigned(x), unsigned(y));
    return {c.r(), c.g(), c.b()};
}

std::string text(const osg::Vec3& c)
{
    return "(" + std::to_string(int(c.x() * 255.f + 0.5f)) + ", " +
           std::to_string(int(c.y() * 255.f + 0.5f)) + ", " +
           std::to_string(int(c.z() * 255.f + 0.5f)) + ")";
}

bool isBackground(const osg::Vec3& c)
{
    return (c - BACKGROUND).length() < 0.03f;
}

// Red: a clear red channel, green and blue at most a quarter of it.
bool isRed(const osg::Vec3& c)
{
    return c.x() > 0.15f && c.y() <= 0.25f * c.x() && c.z() <= 0.25f * c.x();
}

// The mean colour of the 5 x 5 pixels around (x, y).
osg::Vec3 patch(const osg::Image& image, int x, int y)
{
    osg::Vec3 sum;
    for (int dy = -2; dy <= 2; ++dy)
        for (int dx = -2; dx <= 2; ++dx)
            sum += colourAt(image, x + dx, y + dy);
    return sum / 25.f;
}

osg::Vec3 centre(const osg::Image& image)
{
    return patch(image, image.s() / 2, image.t() / 2);
}

class ShapeRendering : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(link.ready());
        // The view: the whole window, blue, looking along +y at the origin.
        auto view = testsupport::viewPacket(VIEW, {0, 0, 255}, {0.f, 0.f}, {1.f, 1.f});
        view->setIntVector(item::view::CameraControl, {view::LOOK_AT});
        testsupport::setVec3(*view, item::view::Eye, {0.f, -6.f, 0.f});
        testsupport::setVec3(*view, item::view::Centre, {0.f, 0.f, 0.f});
        testsupport::setVec3(*view, item::view::Up, {0.f, 0.f, 1.f});
        view->setFloatVector(item::view::Far, {100.f});
        link.client().queue(*view);
        // The box: unit size at the origin, red.
        send({{5, {VisBaseObject::KIND_BOX}}, {44, {255, 0, 0}}},
             {{1, {0.f, 0.f, 0.f}}, {4, {1.f, 1.f, 1.f}}});
        ASSERT_TRUE(link.pumpUntil([&] {
            auto* box = link.manager().updateCallback().findObject(0, BOX);
            return box && box->isInitialized() && link.views().views().size() == 1;
        }));
    }

    void TearDown() override { testsupport::expectNoGlErrors(); }

    // A packet for the box (the link stamps the connection).
    void send(const std::map<int, std::vector<int>>& ints,
              const std::map<int, std::vector<float>>& floats = {})
    {
        sendTo(BOX, ints, floats);
    }

    void sendTo(int object, const std::map<int, std::vector<int>>& ints,
                const std::map<int, std::vector<float>>& floats = {})
    {
        link.client().queue(*testsupport::makePacket({floats, ints}, {object, TYPE_VisBaseObject}));
        link.client().flush();
    }

    // Where a point of the world lies in the window's picture.
    osg::Vec3 onScreen(const osg::Vec3& world)
    {
        const osg::Camera* camera = link.views().views().at(0)->view()->getCamera();
        return world * (camera->getViewMatrix() * camera->getProjectionMatrix() *
                        camera->getViewport()->computeWindowMatrix());
    }

    VisBaseObject* box(int object)
    {
        return dynamic_cast<VisBaseObject*>(link.manager().updateCallback().findObject(0, object));
    }

    // Lets the packets sent so far arrive and be applied, then grabs the
    // picture of the next frame.
    osg::ref_ptr<osg::Image> pictureAfterPackets()
    {
        const auto settle = std::chrono::steady_clock::now() + 300ms;
        link.pumpUntil([&] {
            return std::chrono::steady_clock::now() > settle &&
                   link.manager().receiveRing().empty();
        });
        return link.views().grabWindowImage();
    }

    testsupport::SimulationHarness link{QSize(640, 480), [](ObjectFactory& factory) {
                                            registerShapeObjects(factory);
                                            registerViewObjects(factory);
                                        }};
};

TEST_F(ShapeRendering, RedBoxFillsTheCentre)
{
    osg::ref_ptr<osg::Image> picture = pictureAfterPackets();
    ASSERT_NE(picture, nullptr);
    testsupport::keepPicture(*picture, "shape_red_box");
    const osg::Vec3 middle = centre(*picture);
    EXPECT_TRUE(isRed(middle)) << text(middle);
    // The box covers a part of the view only: the corner shows the background.
    EXPECT_TRUE(isBackground(colourAt(*picture, 2, 2))) << text(colourAt(*picture, 2, 2));
}

TEST_F(ShapeRendering, HalfAlphaBlendsWithTheBackground)
{
    osg::ref_ptr<osg::Image> opaque = pictureAfterPackets();
    ASSERT_NE(opaque, nullptr);
    const osg::Vec3 red = centre(*opaque);
    ASSERT_TRUE(isRed(red)) << text(red);

    send({}, {{10, {0.5f}}});
    osg::ref_ptr<osg::Image> blended = pictureAfterPackets();
    ASSERT_NE(blended, nullptr);
    testsupport::keepPicture(*blended, "shape_half_alpha");
    const osg::Vec3 mixed = centre(*blended);
    // Both the box's red and the background's blue show.
    EXPECT_GT(mixed.z(), 0.1f) << text(mixed);
    EXPECT_LT(mixed.z(), 0.9f) << text(mixed);
    EXPECT_GT(mixed.x(), 0.1f * red.x()) << text(mixed);
    EXPECT_LT(mixed.x(), 0.9f * red.x()) << text(mixed) << " against " << text(red);

    // Alpha 1 makes it opaque again.
    send({}, {{10, {1.f}}});
    osg::ref_ptr<osg::Image> again = pictureAfterPackets();
    ASSERT_NE(again, nullptr);
    EXPECT_TRUE(isRed(centre(*again))) << text(centre(*again));
}

TEST_F(ShapeRendering, WireframeDrawsLinesOnly)
{
    send({{29, {1}}});
    osg::ref_ptr<osg::Image> lines = pictureAfterPackets();
    ASSERT_NE(lines, nullptr);
    testsupport::keepPicture(*lines, "shape_wireframe");
    // Inside the face the background shows; its edges are drawn in red. (The
    // faces are triangles: a diagonal crosses the very centre, so look a
    // little to its right, inside both the front and the back face.)
    const osg::Vec3 inside = patch(*lines, lines->s() / 2 + lines->s() / 16, lines->t() / 2);
    EXPECT_TRUE(isBackground(inside)) << text(inside);
    int redPixels = 0;
    const int row = lines->t() / 2;
    for (int x = 0; x < lines->s(); ++x)
        redPixels += isRed(colourAt(*lines, x, row)) ? 1 : 0;
    EXPECT_GE(redPixels, 2) << "the two vertical edges cross the middle row";
    EXPECT_LE(redPixels, 12) << "lines, not a filled face";

    send({{29, {0}}});
    osg::ref_ptr<osg::Image> filled = pictureAfterPackets();
    ASSERT_NE(filled, nullptr);
    EXPECT_TRUE(isRed(centre(*filled))) << text(centre(*filled));
}

// Boxes of one kind and size draw one drawable, and alike boxes one state
// set: changing how one of them looks must change that box alone. Box 1
// (red, centre) and box 3 (red, left) look alike, box 2 (green, right)
// differs by colour. In each step one box changes; it must show its new
// look while every other box keeps exactly the pixels it had. Then, with the
// other solids added, every solid is given what each had before anything was
// shared (its own drawable, tessellated afresh with a draw per row, and its
// own state): no pixel may change.
TEST_F(ShapeRendering, ChangingOneOfManyAlikeBoxesLeavesTheOthersAsTheyWere)
{
    using Look = bool (*)(const osg::Vec3&);
    const Look GREEN = [](const osg::Vec3& c) { return c.y() > 2.f * std::max(c.x(), c.z()); };
    // The box's colour and the blue background both show.
    const Look SEE_THROUGH = [](const osg::Vec3& c) {
        return std::max(c.x(), c.y()) > 0.1f && c.z() > 0.1f;
    };
    struct Step
    {
        const char* name;
        int object;
        std::map<int, std::vector<int>> ints;
        std::map<int, std::vector<float>> floats;
        Look look;
    };
    const std::vector<Step> steps = {
        {"centre half transparent", 1, {}, {{10, {0.5f}}}, SEE_THROUGH},
        {"right half transparent", 2, {}, {{10, {0.5f}}}, SEE_THROUGH},
        {"right opaque again", 2, {}, {{10, {1.f}}}, GREEN},
        {"right as wireframe", 2, {{29, {1}}}, {}, isBackground}, // inside the face
        {"left recoloured green", 3, {{44, {0, 255, 0}}}, {}, GREEN},
        {"centre opaque again", 1, {}, {{10, {1.f}}}, isRed},
        {"right filled again", 2, {{29, {0}}}, {}, GREEN},
        {"left recoloured red", 3, {{44, {255, 0, 0}}}, {}, isRed},
    };
    const std::map<int, float> xOf = {{1, 0.f}, {2, 1.5f}, {3, -1.5f}};
    sendTo(2, {{5, {VisBaseObject::KIND_BOX}}, {44, {0, 255, 0}}},
           {{1, {1.5f, 0.f, 0.f}}, {4, {1.f, 1.f, 1.f}}});
    sendTo(3, {{5, {VisBaseObject::KIND_BOX}}, {44, {255, 0, 0}}},
           {{1, {-1.5f, 0.f, 0.f}}, {4, {1.f, 1.f, 1.f}}});
    ASSERT_TRUE(link.pumpUntil(
        [&] { return box(2) && box(2)->isInitialized() && box(3) && box(3)->isInitialized(); }));

    osg::ref_ptr<osg::Image> before = pictureAfterPackets();
    ASSERT_NE(before, nullptr);
    // A little right of each box's middle, clear of the diagonal of its face.
    std::map<int, osg::Vec3> at;
    for (const auto& [object, x] : xOf)
        at[object] = onScreen({x + 0.1f, -0.5f, 0.f});
    const auto look = [&](const osg::Image& picture, int object) {
        return patch(picture, int(at[object].x()), int(at[object].y()));
    };
    ASSERT_TRUE(isRed(look(*before, 1))) << text(look(*before, 1));
    ASSERT_TRUE(isRed(look(*before, 3))) << text(look(*before, 3));
    ASSERT_TRUE(GREEN(look(*before, 2))) << text(look(*before, 2));

    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        sendTo(step.object, step.ints, step.floats);
        osg::ref_ptr<osg::Image> after = pictureAfterPackets();
        for (const auto& entry : xOf) {
            const int object = entry.first;
            const osg::Vec3 was = look(*before, object);
            const osg::Vec3 now = look(*after, object);
            if (object != step.object) {
                EXPECT_EQ(now, was)
                    << "box " << object << ": " << text(now) << " was " << text(was);
                continue;
            }
            EXPECT_TRUE(step.look(now)) << "box " << object << ": " << text(now);
        }
        before = after;
    }

    // Boxes 1 and 2 draw one pair of transparency passes, box 3 the untouched box.
    const auto* centre = box(1)->shape()->asGeode();
    const auto* right = box(2)->shape()->asGeode();
    const auto* left = box(3)->shape()->asGeode();
    ASSERT_TRUE(centre && left && right);
    EXPECT_EQ(centre->getStateSet(), left->getStateSet()); // alike again
    EXPECT_EQ(centre->getDrawable(0), right->getDrawable(0));
    EXPECT_NE(centre->getDrawable(0), left->getDrawable(0));
    EXPECT_TRUE(DrawablePurpose::has(*left->getDrawable(0), DrawablePurpose::SHARED));
    EXPECT_FALSE(DrawablePurpose::has(*left->getDrawable(0), DrawablePurpose::NORMALS_REVERSED));
    EXPECT_EQ(left->getDrawable(0)->getStateSet(), nullptr);

    sendTo(4, {{5, {VisBaseObject::KIND_SPHERE}}, {44, {0, 255, 0}}}, {{1, {-1.4f, 0.f, 1.f}}});
    sendTo(5, {{5, {VisBaseObject::KIND_CYLINDER}}, {44, {255, 255, 0}}},
           {{1, {1.4f, 0.f, 1.f}}, {10, {0.5f}}});
    sendTo(6, {{5, {VisBaseObject::KIND_CONE}}, {29, {1}}}, {{1, {-1.4f, 0.f, -1.f}}});
    sendTo(7, {{5, {VisBaseObject::KIND_CAPSULE}}, {44, {255, 0, 0}}}, {{1, {1.4f, 0.f, -1.f}}});
    ASSERT_TRUE(link.pumpUntil([&] { return box(7) && box(7)->isInitialized(); }));
    osg::ref_ptr<osg::Image> shared = pictureAfterPackets();
    for (int object = 1; object <= 7; ++object) {
        osg::Geode* geode = box(object)->shape()->asGeode();
        sharedstate::ownStateSet(*geode);
        for (unsigned i = 0; i < geode->getNumDrawables(); ++i) {
            const auto& drawable = dynamic_cast<osg::ShapeDrawable&>(*geode->getDrawable(i));
            osg::ref_ptr<osg::ShapeDrawable> own =
                new osg::ShapeDrawable(const_cast<osg::Shape*>(drawable.getShape()));
            if (const osg::StateSet* state = drawable.getStateSet())
                own->setStateSet(osg::clone(state, osg::CopyOp::DEEP_COPY_ALL));
            if (DrawablePurpose::has(drawable, DrawablePurpose::NORMALS_REVERSED)) {
                for (osg::Vec3& normal : *static_cast<osg::Vec3Array*>(own->getNormalArray()))
                    normal = -normal;
            }
            geode->setDrawable(i, own.get());
        }
    }
    osg::ref_ptr<osg::Image> own = pictureAfterPackets();
    testsupport::keepPicture(*shared, "shape_mixed_shared");
    int differing = 0;
    for (int y = 0; y < shared->t(); ++y)
        for (int x = 0; x < shared->s(); ++x)
            differing += colourAt(*own, x, y) != colourAt(*shared, x, y) ? 1 : 0;
    EXPECT_EQ(differing, 0);
}

// Springs, gears and tapered pipes built with the same parameters draw the
// same data: changing the look of one of three alike shapes may change the
// pixels around it only.
TEST_F(ShapeRendering, ChangingOneOfThreeAlikeProceduralShapesLeavesTheOthers)
{
    struct Kind
    {
        int kind;
        std::vector<float> scale, parameters;
    };
    const std::vector<Kind> kinds = {
        {VisBaseObject::KIND_SPRING, {1.f, 0.4f, 1.f}, {4.f, 0.08f}},
        {VisBaseObject::KIND_GEAR, {0.8f, 0.8f, 0.3f}, {0.4f, 12.f, 0.f}},
        {VisBaseObject::KIND_PIPE, {0.8f, 0.8f, 0.8f}, {0.f, 0.5f, 0.8f}},
    };
    struct Step
    {
        int object;
        std::map<int, std::vector<int>> ints;
        std::map<int, std::vector<float>> floats;
    };
    const std::vector<Step> steps = {
        {1, {}, {{item::shape::Opacity, {0.5f}}}},     {0, {{item::shape::Wireframe, {1}}}, {}},
        {2, {{item::shape::Colour, {0, 255, 0}}}, {}}, {1, {}, {{item::shape::Opacity, {1.f}}}},
        {0, {{item::shape::Wireframe, {0}}}, {}},
    };
    const float xs[3] = {-1.5f, 0.f, 1.5f};
    sendTo(BOX, {}, {{item::shape::Position, {0.f, 50.f, 0.f}}}); // out of the way
    for (std::size_t k = 0; k < kinds.size(); ++k) {
        const Kind& kind = kinds[k];
        SCOPED_TRACE("kind " + std::to_string(kind.kind));
        const int first = 10 + 3 * int(k);
        for (int i = 0; i < 3; ++i) {
            if (k > 0) // the previous kind's shapes out of the way
                sendTo(first - 3 + i, {}, {{item::shape::Position, {0.f, 50.f, 0.f}}});
            sendTo(
                first + i,
                {{item::shape::ShapeKind, {kind.kind}}, {item::shape::Colour, {255, 0, 0}}},
                {{item::shape::Position,
                  {xs[i], 0.f, kind.kind == VisBaseObject::KIND_SPRING ? -0.5f : 0.f}},
                 {item::shape::Orientation, kind.kind == VisBaseObject::KIND_SPRING
                                                ? std::vector<float>{1.f, 0.f, 0.f, 0.f, 1.f, 0.f}
                                                : std::vector<float>{1.f, 0.f, 0.f, 0.f, 0.f, 1.f}},
                 {item::shape::Scale, kind.scale},
                 {item::shape::Parameters, kind.parameters}});
        }
        ASSERT_TRUE(
            link.pumpUntil([&] { return box(first + 2) && box(first + 2)->isInitialized(); }));
        // Each shape's part of the picture: the square its bounding sphere
        // covers on screen.
        const auto region = [&](int i) {
            const osg::BoundingSphere bound = box(first + i)->getBound();
            const osg::Vec3 low =
                onScreen(bound.center() - osg::Vec3(bound.radius(), 0.f, bound.radius()));
            const osg::Vec3 high =
                onScreen(bound.center() + osg::Vec3(bound.radius(), 0.f, bound.radius()));
            return std::array<int, 4>{int(low.x()), int(low.y()), int(high.x()) + 1,
                                      int(high.y()) + 1};
        };
        const auto differing = [&](const osg::Image& a, const osg::Image& b, int i) {
            const std::array<int, 4> r = region(i);
            int count = 0;
            for (int y = std::max(r[1], 0); y < std::min(r[3], a.t()); ++y)
                for (int x = std::max(r[0], 0); x < std::min(r[2], a.s()); ++x)
                    count += colourAt(a, x, y) != colourAt(b, x, y) ? 1 : 0;
            return count;
        };
        osg::ref_ptr<osg::Image> before = pictureAfterPackets();
        for (const Step& step : steps) {
            sendTo(first + step.object, step.ints, step.floats);
            osg::ref_ptr<osg::Image> after = pictureAfterPackets();
            for (int i = 0; i < 3; ++i) {
                if (i == step.object)
                    EXPECT_GT(differing(*before, *after, i), 0) << "shape " << i << " unchanged";
                else
                    EXPECT_EQ(differing(*before, *after, i), 0) << "shape " << i << " changed too";
            }
            before = after;
        }
    }
}

} // namespace
