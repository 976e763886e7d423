// Intersectors over real scenes built from packets, without a window: what
// the answer packet says, which objects count, the marker and the line, the
// display modes, moving one end, bad input, and that the fast test (kd-trees,
// stopping at the nearest hit that counts) answers as the scene library's
// exhaustive one does, also after geometry changed.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>

#include <osg/Geode>
#include <osg/Geometry>
#include <osgUtil/IntersectionVisitor>
#include <osgUtil/LineSegmentIntersector>

#include "objects/SpatialIndex.h"
#include "objects/VisBaseObject.h"
#include "objects/VisIntersectorObject.h"
#include "objects/VisTextObject.h"
#include "scene/DrawablePurpose.h"
#include "tests/support/BareObject.h"
#include "tests/support/Packets.h"

using namespace testsupport;

namespace {

constexpr int INTERSECTOR = 40;
constexpr int INTERSECTOR_CONNECTION = 5;
const Address TO_INTERSECTOR{INTERSECTOR, TYPE_VisIntersectorObject, INTERSECTOR_CONNECTION};

Items segment(osg::Vec3f start, osg::Vec3f end, int mode = 1, float time = 2.5f)
{
    Items items;
    items.floats[item::intersector::Start] = {start.x(), start.y(), start.z()};
    items.floats[item::intersector::End] = {end.x(), end.y(), end.z()};
    items.floats[item::intersector::MarkerSize] = {0.1f};
    items.ints[item::intersector::DisplayMode] = {mode};
    items.floats[item::every::Time] = {time};
    return items;
}

// A box of kind 1 (unit cube scaled by item 4) centred at `centre`.
Items box(osg::Vec3f centre, osg::Vec3f size = {1.f, 1.f, 1.f})
{
    Items items;
    items.ints[item::shape::ShapeKind] = {VisBaseObject::KIND_BOX};
    items.floats[item::placement::Position] = {centre.x(), centre.y(), centre.z()};
    items.floats[item::placement::Scale] = {size.x(), size.y(), size.z()};
    return items;
}

struct Answer
{
    int object, connection;
    float time;
    int hit;
    float distance = -1.f;
    osg::Vec3f normal;
};

class Intersector : public ::testing::Test
{
protected:
    // Adds an object to the scene first, as the object manager does, so that
    // its first test already sees the scene.
    template <typename Object>
    osg::ref_ptr<Object> add(const Items& items, const Address& to, PacketSink* queue = nullptr)
    {
        osg::ref_ptr<Object> object = new Object(ObjectContext{queue, {}});
        scene->addChild(object.get());
        deliver(*object, items, true, to);
        return object;
    }
    osg::ref_ptr<VisBaseObject> addBox(int number, osg::Vec3f centre,
                                       osg::Vec3f size = {1.f, 1.f, 1.f})
    {
        return add<VisBaseObject>(box(centre, size),
                                  {number, TYPE_VisBaseObject, INTERSECTOR_CONNECTION});
    }
    osg::ref_ptr<VisIntersectorObject> addIntersector(const Items& items)
    {
        return add<VisIntersectorObject>(items, TO_INTERSECTOR, &sink);
    }

    // The answers sent since the last call.
    std::vector<Answer> answers()
    {
        std::vector<Answer> taken;
        for (const auto& packet : sink.sent) {
            Answer answer{int(GNP2::objectNumber(packet->header())),
                          packet->getIntVector(item::every::Connection).at(0),
                          packet->getFloatVector(item::every::Time).at(0),
                          packet->getIntVector(item::reply::intersector_result::Hit).at(0),
                          -1.f,
                          {}};
            EXPECT_EQ(GNP2::typeCode(packet->header()), 0u);
            if (answer.hit) {
                answer.distance =
                    packet->getFloatVector(item::reply::intersector_result::Distance).at(0);
                const auto n = packet->getFloatVector(item::reply::intersector_result::Normal);
                EXPECT_EQ(n.size(), 3u);
                answer.normal.set(n.at(0), n.at(1), n.at(2));
            } else {
                EXPECT_FALSE(packet->hasItem(item::reply::intersector_result::Distance));
                EXPECT_FALSE(packet->hasItem(item::reply::intersector_result::Normal));
            }
            taken.push_back(answer);
        }
        sink.sent.clear();
        return taken;
    }

    osg::ref_ptr<osg::Group> scene = new osg::Group;
    RecordingSink sink;
};

void expectNear(const osg::Vec3d& a, const osg::Vec3d& b, double tolerance = 1e-5)
{
    EXPECT_NEAR(a.x(), b.x(), tolerance);
    EXPECT_NEAR(a.y(), b.y(), tolerance);
    EXPECT_NEAR(a.z(), b.z(), tolerance);
}

// --- answers ------------------------------------------------------------------

TEST_F(Intersector, ASegmentThroughTwoBoxesReportsTheNearerBoxsDistanceAndNormal)
{
    auto nearBox = addBox(1, {3.f, 0.f, 0.f});
    auto farBox = addBox(2, {6.f, 0.f, 0.f});
    auto intersector = addIntersector(segment({0.f, 0.f, 0.f}, {10.f, 0.f, 0.f}, 1, 2.5f));

    auto sent = answers();
    ASSERT_EQ(sent.size(), 1u) << "one answer per packet";
    EXPECT_EQ(sent[0].object, INTERSECTOR);
    EXPECT_EQ(sent[0].connection, INTERSECTOR_CONNECTION);
    EXPECT_FLOAT_EQ(sent[0].time, 2.5f);
    EXPECT_EQ(sent[0].hit, 1);
    EXPECT_NEAR(sent[0].distance, 2.5f, 1e-5f);
    expectNear(sent[0].normal, {-1.0, 0.0, 0.0});
    ASSERT_TRUE(intersector->lastHit());
    EXPECT_EQ(intersector->lastHit()->object, nearBox.get());

    // From the other side the far box is the nearer one.
    Items back;
    back.floats[item::intersector::Start] = {10.f, 0.f, 0.f};
    back.floats[item::intersector::End] = {0.f, 0.f, 0.f};
    back.floats[item::every::Time] = {3.f};
    send(*intersector, back, TO_INTERSECTOR);
    sent = answers();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_FLOAT_EQ(sent[0].time, 3.f);
    EXPECT_NEAR(sent[0].distance, 3.5f, 1e-5f);
    expectNear(sent[0].normal, {1.0, 0.0, 0.0});
    EXPECT_EQ(intersector->lastHit()->object, farBox.get());
}

TEST_F(Intersector, PointAndNormalAreInWorldCoordinatesAndTheNormalIsUnitLength)
{
    // A box scaled 4 x 2 x 2 and turned a quarter about z: its local +y face
    // looks along world -x. Scaling makes the transformed normal 1/2 long.
    Items turned = box({5.f, 1.f, 0.f}, {4.f, 2.f, 2.f});
    turned.floats[item::placement::Orientation] = {0.f, -1.f, 0.f, 1.f, 0.f, 0.f};
    add<VisBaseObject>(turned, {1, TYPE_VisBaseObject, INTERSECTOR_CONNECTION});
    auto intersector = addIntersector(segment({0.f, 1.5f, 0.f}, {10.f, 1.5f, 0.f}));

    const auto sent = answers();
    ASSERT_EQ(sent.size(), 1u);
    ASSERT_EQ(sent[0].hit, 1);
    // Turned, the box spans x 4 ... 6.
    EXPECT_NEAR(sent[0].distance, 4.f, 1e-5f);
    expectNear(sent[0].normal, {-1.0, 0.0, 0.0});
    expectNear(intersector->lastHit()->point, {4.0, 1.5, 0.0});
}

TEST_F(Intersector, HitsOnObjectsThatDoNotCountArePassedOver)
{
    Items text;
    text.strings[item::text::Font] = "arial.ttf";
    text.strings[item::text::Text] = "MMMMMMMM";
    text.ints[item::text::ShowValue] = {0};
    text.ints[item::text::Alignment] = {0};
    auto label = add<VisTextObject>(text, {2, TYPE_VisTextObject, INTERSECTOR_CONNECTION});

    // Find a line along z through the text's glyphs that the scene library
    // does hit, so that the answer below is about passing over, not missing.
    const osg::BoundingSphere bound = label->getBound();
    ASSERT_TRUE(bound.valid());
    std::optional<osg::Vec3d> through;
    for (int i = 0; i < 21 && !through; ++i) {
        for (int j = 0; j < 21 && !through; ++j) {
            const osg::Vec3d at = osg::Vec3d(bound.center()) +
                                  osg::Vec3d((i - 10) * 0.1, (j - 10) * 0.1, 0.0) * bound.radius();
            osg::ref_ptr<osgUtil::LineSegmentIntersector> plain =
                new osgUtil::LineSegmentIntersector(at + osg::Vec3d(0, 0, 50),
                                                    at - osg::Vec3d(0, 0, 50));
            osgUtil::IntersectionVisitor visitor(plain.get());
            scene->accept(visitor);
            if (plain->containsIntersections())
                through = at;
        }
    }
    ASSERT_TRUE(through) << "the text is hit somewhere";
    const osg::Vec3f top(*through + osg::Vec3d(0, 0, 50)), bottom(*through - osg::Vec3d(0, 0, 50));

    auto intersector = addIntersector(segment(top, bottom));
    auto sent = answers();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].hit, 0) << "a text alone is not hit";
    EXPECT_FALSE(intersector->lastHit());

    // A box behind the text is what the segment hits.
    auto behind = addBox(3, osg::Vec3f(*through) - osg::Vec3f(0.f, 0.f, 10.f));
    send(*intersector, segment(top, bottom), TO_INTERSECTOR);
    sent = answers();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].hit, 1);
    EXPECT_NEAR(sent[0].distance, 59.5f, 1e-4f);
    EXPECT_EQ(intersector->lastHit()->object, behind.get());

    // Another intersector's marker standing on the box is passed over too.
    auto other =
        add<VisIntersectorObject>(segment(top, bottom), {41, TYPE_VisIntersectorObject, 0});
    ASSERT_TRUE(other->lastHit());
    ASSERT_TRUE(other->display()->getValue(VisIntersectorObject::MARKER));
    send(*intersector, segment(top, bottom), TO_INTERSECTOR);
    sent = answers();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_NEAR(sent[0].distance, 59.5f, 1e-4f);
}

TEST_F(Intersector, AZeroLengthSegmentHitsNothing)
{
    addBox(1, {0.f, 0.f, 0.f});
    // On the box's face and inside it.
    for (const osg::Vec3f point : {osg::Vec3f(0.5f, 0.f, 0.f), osg::Vec3f(0.1f, 0.1f, 0.1f)}) {
        auto intersector = addIntersector(segment(point, point));
        const auto sent = answers();
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(sent[0].hit, 0);
        EXPECT_FALSE(intersector->display()->getValue(VisIntersectorObject::MARKER));
    }
}

TEST_F(Intersector, ItemFifteenAloneMovesOnlyTheEnd)
{
    addBox(1, {3.f, 0.f, 0.f});
    auto intersector = addIntersector(segment({0.f, 0.f, 0.f}, {10.f, 0.f, 0.f}));
    EXPECT_EQ(answers().at(0).hit, 1);

    Items end;
    end.floats[item::intersector::End] = {0.f, 10.f, 0.f};
    send(*intersector, end, TO_INTERSECTOR);
    EXPECT_EQ(intersector->start(), osg::Vec3d(0, 0, 0));
    EXPECT_EQ(intersector->end(), osg::Vec3d(0, 10, 0));
    const osg::Vec3Array& line = intersector->segmentLine()->vertices();
    EXPECT_EQ(line[0], osg::Vec3(0, 0, 0));
    EXPECT_EQ(line[1], osg::Vec3(0, 10, 0));
    EXPECT_EQ(answers().at(0).hit, 0) << "the moved segment misses the box";

    // A packet with only the display mode tests the segment as it is.
    Items mode;
    mode.ints[item::intersector::DisplayMode] = {2};
    send(*intersector, mode, TO_INTERSECTOR);
    EXPECT_EQ(answers().size(), 1u);
    EXPECT_EQ(intersector->end(), osg::Vec3d(0, 10, 0));
}

TEST_F(Intersector, TheMarkerStandsOnTheHitPointAlongTheNormal)
{
    addBox(1, {0.f, 0.f, 0.f}, {2.f, 2.f, 2.f});
    auto intersector = addIntersector(segment({0.f, 0.f, 5.f}, {0.f, 0.f, -5.f}));
    const osg::Matrixd& placed = intersector->marker()->getMatrix();
    expectNear(osg::Vec3d(0, 0, 0) * placed, {0.0, 0.0, 1.0});
    expectNear(osg::Vec3d(0, 0, 1) * placed, {0.0, 0.0, 2.0});

    // A hit on the -x face: the marker's +z axis turns onto -x.
    Items side = segment({-5.f, 0.3f, 0.2f}, {5.f, 0.3f, 0.2f});
    send(*intersector, side, TO_INTERSECTOR);
    const osg::Matrixd& turned = intersector->marker()->getMatrix();
    expectNear(osg::Vec3d(0, 0, 0) * turned, {-1.0, 0.3, 0.2});
    expectNear(osg::Vec3d(0, 0, 1) * turned, {-2.0, 0.3, 0.2});
    // The ball, shaft and arrow head are sized by item 17.
    const osg::BoundingSphere marker = intersector->marker()->getChild(0)->getBound();
    EXPECT_NEAR(marker.radius(), 0.6f, 0.05f) << "from -r to 12 r along z with r = 0.1";
}

// --- display modes --------------------------------------------------------------

struct DisplayRow
{
    const char* name;
    int mode;
    bool hits;
    bool line, marker;
};

class DisplayModes : public Intersector, public ::testing::WithParamInterface<DisplayRow>
{
};

TEST_P(DisplayModes, ShowTheLineAndTheMarkerAsTheModeSaysAndAlwaysAnswer)
{
    const DisplayRow& row = GetParam();
    addBox(1, {3.f, 0.f, 0.f});
    const osg::Vec3f end = row.hits ? osg::Vec3f(10.f, 0.f, 0.f) : osg::Vec3f(0.f, 10.f, 0.f);
    // Created in another mode first, so that the row's mode has to change
    // what was shown.
    auto intersector =
        addIntersector(segment({0.f, 0.f, 0.f}, {10.f, 0.f, 0.f}, row.mode == 1 ? 0 : 1));
    send(*intersector, segment({0.f, 0.f, 0.f}, end, row.mode), TO_INTERSECTOR);
    EXPECT_EQ(intersector->display()->getValue(VisIntersectorObject::SEGMENT_LINE), row.line);
    EXPECT_EQ(intersector->display()->getValue(VisIntersectorObject::MARKER), row.marker);
    const auto sent = answers();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[1].hit, row.hits ? 1 : 0);
    EXPECT_EQ(intersector->getChild(intersector->getNumChildren() - 1), intersector->display())
        << "the switch hangs on the object, not under its transform";
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DisplayModes,
    ::testing::Values(DisplayRow{"nothing_on_a_hit", 0, true, false, false},
                      DisplayRow{"nothing_on_a_miss", 0, false, false, false},
                      DisplayRow{"line_and_marker", 1, true, true, true},
                      DisplayRow{"line_on_a_miss", 1, false, true, false},
                      DisplayRow{"marker_only", 2, true, false, true},
                      DisplayRow{"nothing_on_a_miss_2", 2, false, false, false},
                      DisplayRow{"other_value_marker", 7, true, false, true}),
    [](const ::testing::TestParamInfo<DisplayRow>& row) { return std::string(row.param.name); });

// --- replay and bad input ------------------------------------------------------------

TEST_F(Intersector, InReplayTheMarkerFollowsButNothingIsSent)
{
    addBox(1, {3.f, 0.f, 0.f});
    auto replayed = add<VisIntersectorObject>(segment({0.f, 0.f, 0.f}, {10.f, 0.f, 0.f}, 2),
                                              TO_INTERSECTOR, nullptr);
    EXPECT_TRUE(replayed->display()->getValue(VisIntersectorObject::MARKER));
    expectNear(osg::Vec3d(0, 0, 0) * replayed->marker()->getMatrix(), {2.5, 0.0, 0.0});
    send(*replayed, segment({0.f, 0.2f, 0.f}, {10.f, 0.2f, 0.f}, 2), TO_INTERSECTOR);
    expectNear(osg::Vec3d(0, 0, 0) * replayed->marker()->getMatrix(), {2.5, 0.2, 0.0});
    EXPECT_TRUE(sink.sent.empty());
}

TEST_F(Intersector, MissingItemsAreReportedAndTheObjectIsBuiltOnceTheyArrive)
{
    addBox(1, {3.f, 0.f, 0.f});
    Items incomplete = segment({0.f, 0.f, 0.f}, {10.f, 0.f, 0.f});
    incomplete.floats[item::intersector::Start] = {0.f, 0.f}; // short: as if absent
    testing::internal::CaptureStdout();
    auto intersector = addIntersector(incomplete);
    std::string output = testing::internal::GetCapturedStdout();
    EXPECT_NE(output.find(testsupport::skippedLine("initializing", "VisIntersector") + "\n" +
                          testsupport::accessorFailure(14)),
              std::string::npos)
        << output;
    EXPECT_FALSE(intersector->isInitialized());
    EXPECT_TRUE(answers().empty()) << "nothing was tested";

    Items start;
    start.floats[item::intersector::Start] = {0.f, 0.f, 0.f};
    send(*intersector, start, TO_INTERSECTOR);
    EXPECT_TRUE(intersector->isInitialized());
    EXPECT_EQ(answers().at(0).hit, 1);
}

TEST_F(Intersector, WithoutADisplayModeAPacketIsReportedAndNotAnswered)
{
    addBox(1, {3.f, 0.f, 0.f});
    Items noMode = segment({0.f, 0.f, 0.f}, {10.f, 0.f, 0.f});
    noMode.ints.erase(item::intersector::DisplayMode);
    testing::internal::CaptureStdout();
    auto intersector = addIntersector(noMode);
    const std::string output = testing::internal::GetCapturedStdout();
    EXPECT_NE(output.find(testsupport::skippedLine("updating", "VisIntersector")),
              std::string::npos)
        << output;
    EXPECT_TRUE(intersector->isInitialized()) << "items 14, 15 and 17 build it";
    EXPECT_TRUE(answers().empty());

    Items mode;
    mode.ints[item::intersector::DisplayMode] = {0};
    send(*intersector, mode, TO_INTERSECTOR);
    EXPECT_EQ(answers().at(0).hit, 1);
}

TEST_F(Intersector, AMalformedEndLeavesTheSegmentAsItWasAndIsSaidOnce)
{
    addBox(1, {3.f, 0.f, 0.f});
    auto intersector = addIntersector(segment({0.f, 0.f, 0.f}, {10.f, 0.f, 0.f}));
    answers();
    testing::internal::CaptureStdout();
    for (const std::vector<float>& bad :
         {std::vector<float>{0.f, 10.f}, std::vector<float>{0.f, NAN, 0.f}}) {
        Items end;
        end.floats[item::intersector::End] = bad;
        send(*intersector, end, TO_INTERSECTOR);
    }
    const std::string output = testing::internal::GetCapturedStdout();
    EXPECT_EQ(output, "VisIntersector: item 15 is not a point of three numbers; the segment keeps "
                      "its end\n");
    EXPECT_EQ(intersector->end(), osg::Vec3d(10, 0, 0));
    const auto sent = answers();
    ASSERT_EQ(sent.size(), 2u) << "the packets are still answered, with the old segment";
    EXPECT_EQ(sent[1].hit, 1);
}

// --- the fast test against the library's ------------------------------------------------

// A grid of quads in the xy plane, 40 x 40 cells over 4 x 4 units centred at
// the origin, raised by `z` (enough vertices for a kd-tree).
osg::ref_ptr<osg::Geometry> sheet(float z)
{
    osg::ref_ptr<osg::Geometry> geometry = new osg::Geometry;
    osg::ref_ptr<osg::Vec3Array> vertices = new osg::Vec3Array;
    constexpr int N = 40;
    for (int j = 0; j <= N; ++j)
        for (int i = 0; i <= N; ++i)
            vertices->push_back({-2.f + 4.f * i / N, -2.f + 4.f * j / N, z});
    osg::ref_ptr<osg::DrawElementsUInt> quads = new osg::DrawElementsUInt(GL_QUADS);
    for (int j = 0; j < N; ++j)
        for (int i = 0; i < N; ++i)
            for (int corner : {j * (N + 1) + i, j * (N + 1) + i + 1, (j + 1) * (N + 1) + i + 1,
                               (j + 1) * (N + 1) + i})
                quads->push_back(unsigned(corner));
    geometry->setVertexArray(vertices.get());
    geometry->addPrimitiveSet(quads.get());
    return geometry;
}

void moveSheet(osg::Geometry& geometry, float dz)
{
    auto& vertices = static_cast<osg::Vec3Array&>(*geometry.getVertexArray());
    for (osg::Vec3& vertex : vertices)
        vertex.z() += dz;
    vertices.dirty();
    geometry.dirtyBound();
}

TEST_F(Intersector, AgreesWithTheLibrarysExhaustiveTestOverShapesUnderTransforms)
{
    // Shapes of many kinds, turned and scaled, some overlapping.
    std::mt19937 random(7);
    std::uniform_real_distribution<float> unit(-1.f, 1.f);
    for (int i = 0; i < 24; ++i) {
        Items shape;
        const int kind = 1 + i % 11;
        shape.ints[item::shape::ShapeKind] = {kind};
        shape.floats[item::placement::Position] = {3.f * unit(random), 3.f * unit(random),
                                                   unit(random)};
        shape.floats[item::placement::Scale] = {1.f + 0.5f * unit(random), 0.8f,
                                                0.6f + 0.3f * unit(random)};
        const float a = 3.f * unit(random);
        shape.floats[item::placement::Orientation] = {std::cos(a),  std::sin(a), 0.f,
                                                      -std::sin(a), std::cos(a), 0.f};
        if (kind == 7)
            shape.floats[item::shape::Parameters] = {5.f, 0.05f};
        if (kind == 8)
            shape.floats[item::shape::Parameters] = {0.3f, 16.f, 10.f};
        if (kind == 9)
            shape.floats[item::shape::Parameters] = {0.f, 0.6f, 0.8f};
        if (kind == 10)
            shape.floats[item::shape::Parameters] = {0.1f};
        add<VisBaseObject>(shape, {i + 1, TYPE_VisBaseObject, INTERSECTOR_CONNECTION});
    }
    auto intersector = addIntersector(segment({0.f, 0.f, 9.f}, {0.f, 0.f, -9.f}, 0));
    answers();

    int hits = 0;
    for (int round = 0; round < 3; ++round) { // the later rounds use kd-trees
        std::mt19937 segments(11);
        for (int k = 0; k < 150; ++k) {
            const osg::Vec3f start(5.f * unit(segments), 5.f * unit(segments), 4.f);
            const osg::Vec3f end(5.f * unit(segments), 5.f * unit(segments), -4.f);
            send(*intersector, segment(start, end, 0), TO_INTERSECTOR);

            osg::ref_ptr<osgUtil::LineSegmentIntersector> plain =
                new osgUtil::LineSegmentIntersector(start, end);
            osgUtil::IntersectionVisitor visitor(plain.get());
            scene->accept(visitor);
            const osgUtil::LineSegmentIntersector::Intersection* expected = nullptr;
            for (const auto& hit : plain->getIntersections())
                if (VisIntersectorObject::hitObject(hit.nodePath, intersector.get())) {
                    expected = &hit;
                    break;
                }
            SCOPED_TRACE("round " + std::to_string(round) + ", segment " + std::to_string(k));
            const auto& found = intersector->lastHit();
            ASSERT_EQ(found.has_value(), expected != nullptr);
            if (!expected)
                continue;
            ++hits;
            expectNear(found->point, expected->getWorldIntersectPoint(), 1e-4);
            EXPECT_NEAR(found->distance,
                        (expected->getWorldIntersectPoint() - osg::Vec3d(start)).length(), 1e-4);
            osg::Vec3d normal(expected->getWorldIntersectNormal());
            normal.normalize();
            expectNear(found->normal, normal, 1e-4);
        }
    }
    EXPECT_GT(hits, 150) << "most segments hit something";
    EXPECT_GT(SpatialIndex::forScene(*scene)->treeCount(), 0u) << "trees were used";
}

TEST_F(Intersector, GeometryThatMovesIsHitWhereItIsNow)
{
    osg::ref_ptr<BareObject> holder = new BareObject;
    osg::ref_ptr<osg::Geometry> surface = sheet(0.f);
    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    geode->addDrawable(surface.get());
    holder->getTransform()->addChild(geode.get());
    scene->addChild(holder.get());

    auto intersector = addIntersector(segment({0.3f, 0.3f, 5.f}, {0.3f, 0.3f, -5.f}, 0));
    for (int i = 0; i < 4; ++i)
        send(*intersector, segment({0.3f, 0.3f, 5.f}, {0.3f, 0.3f, -5.f}, 0), TO_INTERSECTOR);
    SpatialIndex& index = *SpatialIndex::forScene(*scene);
    ASSERT_EQ(index.treeCount(), 1u) << "still geometry gets a tree";
    EXPECT_NEAR(intersector->lastHit()->distance, 5.0, 1e-5);

    // Moved in place between every test: never where it was.
    for (int step = 1; step <= 40; ++step) {
        moveSheet(*surface, 0.1f);
        send(*intersector, segment({0.3f, 0.3f, 5.f}, {0.3f, 0.3f, -5.f}, 0), TO_INTERSECTOR);
        ASSERT_TRUE(intersector->lastHit());
        ASSERT_NEAR(intersector->lastHit()->distance, 5.0 - 0.1 * step, 1e-4) << "step " << step;
    }
    EXPECT_EQ(index.treeCount(), 0u) << "geometry that changes at every test gets no tree";
    const std::size_t built = index.treesBuilt();

    // Still again, it gets a tree only after the longest wait; changed once
    // more it is hit where it is at once.
    for (unsigned i = 1; i < SpatialIndex::MAX_WAIT; ++i)
        send(*intersector, segment({0.3f, 0.3f, 5.f}, {0.3f, 0.3f, -5.f}, 0), TO_INTERSECTOR);
    EXPECT_EQ(index.treesBuilt(), built);
    send(*intersector, segment({0.3f, 0.3f, 5.f}, {0.3f, 0.3f, -5.f}, 0), TO_INTERSECTOR);
    EXPECT_EQ(index.treesBuilt(), built + 1);
    moveSheet(*surface, -1.f);
    send(*intersector, segment({0.3f, 0.3f, 5.f}, {0.3f, 0.3f, -5.f}, 0), TO_INTERSECTOR);
    EXPECT_NEAR(intersector->lastHit()->distance, 2.0, 1e-4);
    answers();
}

TEST_F(Intersector, AHiddenDeformationSourceIsNotHitItsCopyIs)
{
    osg::ref_ptr<BareObject> body = new BareObject;
    osg::ref_ptr<osg::Geometry> source = sheet(0.f), copy = sheet(-1.f);
    DrawablePurpose::mark(*source, DrawablePurpose::DEFORM_SOURCE);
    DrawablePurpose::mark(*copy, DrawablePurpose::DEFORMED_COPY);
    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    geode->addDrawable(source.get());
    geode->addDrawable(copy.get());
    body->getTransform()->addChild(geode.get());
    scene->addChild(body.get());

    auto intersector = addIntersector(segment({0.5f, 0.5f, 5.f}, {0.5f, 0.5f, -5.f}, 0));
    ASSERT_TRUE(intersector->lastHit());
    EXPECT_NEAR(intersector->lastHit()->distance, 6.0, 1e-5) << "the deformed copy, 1 lower";
    answers();
}

} // namespace
