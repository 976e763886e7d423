// The line family and the line object without a window: the index list
// through every insertion and removal, the 31-point Bézier curve, and the
// line object's points, its read-once colour and its short items.

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include <osg/Vec3>

#include "objects/VisLineObject.h"
#include "objects/builders/Lines.h"
#include "TextLightTestSupport.h"

using namespace textlight;
using testsupport::Address;

namespace {

// Index i of the strip must name point i: anything else draws a line
// through the wrong points or reads past the vertex array.
void expectIndicesInOrder(const osgLine::BasicLine& line)
{
    ASSERT_EQ(line.indices().size(), line.vertices().size());
    ASSERT_EQ(line.colors().size(), line.vertices().size());
    for (std::size_t i = 0; i < line.indices().size(); ++i)
        EXPECT_EQ(line.indices()[i], i);
}

void expectNear(const osg::Vec3& actual, const osg::Vec3& expected, float tolerance = 1e-5f)
{
    EXPECT_NEAR(actual.x(), expected.x(), tolerance);
    EXPECT_NEAR(actual.y(), expected.y(), tolerance);
    EXPECT_NEAR(actual.z(), expected.z(), tolerance);
}

const osg::Vec4 RED(1.f, 0.f, 0.f, 1.f);
const osg::Vec4 BLUE(0.f, 0.f, 1.f, 1.f);

} // namespace

TEST(BasicLine, PointsAddedAtBothEndsAndRemovedFromTheFrontKeepTheirOrder)
{
    osg::ref_ptr<osgLine::DynamicLine> line = new osgLine::DynamicLine;
    for (int i = 0; i < 4; ++i)
        line->addPoint(osg::Vec3(float(i), 0.f, 0.f), RED);
    line->insertPointAtFront(osg::Vec3(-1.f, 0.f, 0.f), BLUE);
    expectIndicesInOrder(*line);
    EXPECT_EQ(line->vertices().front(), osg::Vec3(-1.f, 0.f, 0.f));
    EXPECT_EQ(line->colors().front(), BLUE);

    // A point added after a front insertion still gets the next index.
    line->addPoint(osg::Vec3(4.f, 0.f, 0.f), RED);
    expectIndicesInOrder(*line);
    ASSERT_EQ(line->pointCount(), 6u);

    line->removeFirstPoint();
    line->removeFirstPoints(2);
    expectIndicesInOrder(*line);
    ASSERT_EQ(line->pointCount(), 3u);
    EXPECT_EQ(line->vertices()[0], osg::Vec3(2.f, 0.f, 0.f));
    line->addPoint(osg::Vec3(5.f, 0.f, 0.f), RED);
    expectIndicesInOrder(*line);

    line->removeFirstPoints(100); // more than there are
    EXPECT_EQ(line->pointCount(), 0u);
    expectIndicesInOrder(*line);
    line->addPoint(osg::Vec3(7.f, 0.f, 0.f), RED);
    expectIndicesInOrder(*line);
    line->clear();
    EXPECT_EQ(line->indices().size(), 0u);
    line->addPoint(osg::Vec3(8.f, 0.f, 0.f), RED);
    expectIndicesInOrder(*line);
}

TEST(BasicLine, WidthAndPointMovesChangeTheGeometry)
{
    osg::ref_ptr<osgLine::DynamicLine> line =
        new osgLine::DynamicLine(osg::Vec3(0.f, 0.f, 0.f), RED);
    EXPECT_FLOAT_EQ(line->lineWidth(), 1.f);
    line->setLineWidth(4.f);
    EXPECT_FLOAT_EQ(line->lineWidth(), 4.f);
    EXPECT_EQ(line->geometry()->getStateSet()->getMode(GL_LIGHTING) & osg::StateAttribute::ON, 0u)
        << "lines are unlit";

    line->addPoint(osg::Vec3(1.f, 0.f, 0.f), RED);
    line->setPoint(1, osg::Vec3(0.f, 5.f, 0.f));
    line->setPoint(2, osg::Vec3(9.f, 9.f, 9.f)); // past the end: ignored
    ASSERT_EQ(line->pointCount(), 2u);
    EXPECT_EQ(line->vertices()[1], osg::Vec3(0.f, 5.f, 0.f));
    EXPECT_NEAR(line->getBound().radius(), 2.5f, 1e-5f) << "the bound follows moved points";
}

TEST(BezierLine, TwoControlPointsGiveAStraightSegmentOf31Points)
{
    osg::ref_ptr<osgLine::BezierLine> curve = new osgLine::BezierLine(BLUE);
    curve->addControlPoint(osg::Vec3(0.f, 0.f, 0.f));
    curve->addControlPoint(osg::Vec3(3.f, 6.f, -3.f));
    curve->rebuild();
    ASSERT_EQ(curve->pointCount(), 31u);
    expectIndicesInOrder(*curve);
    for (std::size_t i = 0; i < 31; ++i) {
        const float t = float(i) * osgLine::BezierLine::PARAMETER_STEP;
        expectNear(curve->vertices()[i], osg::Vec3(3.f, 6.f, -3.f) * t);
        EXPECT_EQ(curve->colors()[i], BLUE);
    }
    expectNear(curve->vertices().back(), osg::Vec3(3.f, 6.f, -3.f), 1e-5f);
}

TEST(BezierLine, FourControlPointsFollowTheCubicForm)
{
    const osg::Vec3 p0(0.f, 0.f, 0.f), p1(1.f, 2.f, 0.f), p2(3.f, 2.f, 1.f), p3(4.f, 0.f, 0.f);
    osg::ref_ptr<osgLine::BezierLine> curve = new osgLine::BezierLine(RED);
    for (const osg::Vec3& p : {p0, p1, p2, p3})
        curve->addControlPoint(p);
    curve->rebuild();
    // Rebuilding again replaces the points instead of appending.
    curve->rebuild();
    ASSERT_EQ(curve->pointCount(), 31u);
    for (std::size_t i = 0; i < 31; ++i) {
        const float t = float(i) / 30.f;
        const float s = 1.f - t;
        const osg::Vec3 expected =
            p0 * (s * s * s) + p1 * (3.f * s * s * t) + p2 * (3.f * s * t * t) + p3 * (t * t * t);
        expectNear(curve->vertices()[i], expected, 1e-4f);
    }
    // Off the chord between the ends: a curve, not a segment.
    EXPECT_GT(curve->vertices()[15].y(), 1.f);
}

// --- the line object ----------------------------------------------------------

namespace {

constexpr int LINE = 5;

Items lineItems(int kind, int count, std::vector<float> points)
{
    Items items;
    items.ints[item::line::Colour] = {255, 0, 0};
    items.floats[item::line::Opacity] = {1.f};
    items.ints[item::line::LineKind] = {kind};
    items.floats[item::line::Width] = {3.f};
    items.ints[item::line::PointCount] = {count};
    items.floats[item::line::Points] = std::move(points);
    return items;
}

const Address TO_LINE{LINE, TYPE_VisLineObject, 0};

osg::ref_ptr<VisLineObject> createLine(const Items& items)
{
    osg::ref_ptr<VisLineObject> object = new VisLineObject(ObjectContext{});
    deliver(*object, *makePacket(items, TO_LINE), true);
    return object;
}

void sendPoints(VisLineObject& object, std::vector<float> points)
{
    deliver(object, *makePacket({{{item::line::Points, std::move(points)}}}, TO_LINE), false);
}

} // namespace

TEST(VisLineObject, PolylineRunsThroughThePointsBesideTheTransform)
{
    auto object = createLine(
        lineItems(VisLineObject::KIND_POLYLINE, 3, {0.f, 0.f, 0.f, 1.f, 2.f, 3.f, -1.f, 4.f, 2.f}));
    ASSERT_TRUE(object->isInitialized());
    osgLine::BasicLine* line = object->line();
    ASSERT_NE(line, nullptr);
    EXPECT_TRUE(object->containsNode(line)) << "a child of the object itself";
    EXPECT_FALSE(object->getTransform()->containsNode(line)) << "not under the transform";
    EXPECT_TRUE(object->getTransform()->getMatrix().isIdentity()) << "item 1 holds points";
    ASSERT_EQ(line->pointCount(), 3u);
    EXPECT_EQ(line->vertices()[2], osg::Vec3(-1.f, 4.f, 2.f));
    EXPECT_EQ(line->colors()[0], osg::Vec4(1.f, 0.f, 0.f, 1.f));
    EXPECT_FLOAT_EQ(line->lineWidth(), 3.f);
    expectIndicesInOrder(*line);

    // New points replace the old ones.
    sendPoints(*object, {5.f, 5.f, 5.f, 6.f, 6.f, 6.f, 7.f, 7.f, 7.f});
    ASSERT_EQ(line->pointCount(), 3u);
    EXPECT_EQ(line->vertices()[0], osg::Vec3(5.f, 5.f, 5.f));
}

TEST(VisLineObject, BezierKindDraws31PointsThroughItsControlPoints)
{
    auto object =
        createLine(lineItems(VisLineObject::KIND_BEZIER, 2, {0.f, 0.f, 0.f, 3.f, 0.f, 0.f}));
    osgLine::BasicLine* line = object->line();
    ASSERT_NE(line, nullptr);
    ASSERT_EQ(line->pointCount(), 31u);
    expectNear(line->vertices()[10], osg::Vec3(1.f, 0.f, 0.f), 1e-5f);

    sendPoints(*object, {0.f, 0.f, 0.f, 0.f, 6.f, 0.f});
    ASSERT_EQ(line->pointCount(), 31u) << "the control points are replaced, not added";
    expectNear(line->vertices().back(), osg::Vec3(0.f, 6.f, 0.f), 1e-5f);
}

TEST(VisLineObject, ColourIsReadOnceAndUpdatesWithoutPointsChangeNothing)
{
    auto object =
        createLine(lineItems(VisLineObject::KIND_POLYLINE, 2, {0.f, 0.f, 0.f, 1.f, 1.f, 1.f}));
    osgLine::BasicLine* line = object->line();
    deliver(*object,
            *makePacket({{{item::line::Opacity, {0.5f}}}, {{item::line::Colour, {0, 255, 0}}}},
                        TO_LINE),
            false);
    ASSERT_EQ(line->pointCount(), 2u) << "no item 1: the line stays as it was";
    EXPECT_EQ(line->colors()[1], osg::Vec4(1.f, 0.f, 0.f, 1.f));

    sendPoints(*object, {2.f, 2.f, 2.f, 3.f, 3.f, 3.f});
    EXPECT_EQ(line->colors()[1], osg::Vec4(1.f, 0.f, 0.f, 1.f)) << "new points, the first colour";
}

TEST(VisLineObject, ZeroPointsClearTheLine)
{
    auto object = createLine(lineItems(VisLineObject::KIND_POLYLINE, 0, {1.f, 2.f, 3.f}));
    EXPECT_EQ(object->line()->pointCount(), 0u);

    auto curve =
        createLine(lineItems(VisLineObject::KIND_BEZIER, 2, {1.f, 2.f, 3.f, 4.f, 5.f, 6.f}));
    ASSERT_EQ(curve->line()->pointCount(), 31u);
    auto none = createLine(lineItems(VisLineObject::KIND_BEZIER, 0, {1.f, 2.f, 3.f}));
    EXPECT_EQ(none->line()->pointCount(), 0u) << "no control point: no curve";
}

TEST(VisLineObject, ShortPointItemDrawsTheCompletePointsAndSaysSoOnce)
{
    osg::ref_ptr<VisLineObject> object;
    const std::string first = printedBy([&] {
        object = createLine(
            lineItems(VisLineObject::KIND_POLYLINE, 4, {0.f, 0.f, 0.f, 1.f, 1.f, 1.f, 2.f}));
    });
    ASSERT_EQ(object->line()->pointCount(), 2u) << "7 values hold 2 complete points";
    EXPECT_NE(first.find("item 1 holds 7 values, fewer than the 12 of 4 points"), std::string::npos)
        << first;

    const std::string again = printedBy([&] { sendPoints(*object, {5.f, 5.f, 5.f}); });
    EXPECT_EQ(object->line()->pointCount(), 1u);
    EXPECT_EQ(again, "") << "the shortfall is reported once";

    // More values than N points: the first N are drawn.
    sendPoints(*object, std::vector<float>(30, 1.f));
    EXPECT_EQ(object->line()->pointCount(), 4u);
}

TEST(VisLineObject, PointsThatAreNotNumbersAreLeftOut)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    osg::ref_ptr<VisLineObject> object;
    const std::string printed = printedBy([&] {
        object = createLine(lineItems(VisLineObject::KIND_POLYLINE, 3,
                                      {0.f, 0.f, 0.f, nan, 1.f, 1.f, 2.f, 2.f, 2.f}));
    });
    ASSERT_EQ(object->line()->pointCount(), 2u);
    EXPECT_TRUE(object->line()->getBound().valid());
    EXPECT_NE(printed.find("point 1 of item 1 is not finite"), std::string::npos) << printed;
}

TEST(VisLineObject, UnknownKindDrawsNothingAndMissingItemsAreRetried)
{
    auto odd = createLine(lineItems(7, 2, {0.f, 0.f, 0.f, 1.f, 1.f, 1.f}));
    EXPECT_TRUE(odd->isInitialized());
    EXPECT_EQ(odd->line(), nullptr);
    sendPoints(*odd, {1.f, 2.f, 3.f, 4.f, 5.f, 6.f}); // must not fail

    Items withoutWidth = lineItems(VisLineObject::KIND_POLYLINE, 1, {1.f, 2.f, 3.f});
    withoutWidth.floats.erase(item::line::Width);
    osg::ref_ptr<VisLineObject> object;
    const std::string printed = printedBy([&] { object = createLine(withoutWidth); });
    EXPECT_FALSE(object->isInitialized());
    EXPECT_NE(printed.find("An error occured while initializing VisLineObject. Object will be "
                           "skipped!\n" +
                           exceptionLines(item::line::Width)),
              std::string::npos)
        << printed;

    // The width arrives with new points: built from the whole state at once.
    deliver(
        *object,
        *makePacket({{{item::line::Width, {2.f}}, {item::line::Points, {4.f, 5.f, 6.f}}}}, TO_LINE),
        false);
    ASSERT_TRUE(object->isInitialized());
    ASSERT_EQ(object->line()->pointCount(), 1u);
    EXPECT_EQ(object->line()->vertices()[0], osg::Vec3(4.f, 5.f, 6.f));
}
