// Line-of-sight tests per second over a scene of about a million triangles:
// a 500 x 500 height field (half a million triangles in strips, as a terrain
// model brings them), copies of the demo's robot arm and flexible beam
// models, and 300 shapes of every kind (spheres, gears, springs,
// pipes ...) built from packets.
//  - BM_Intersector/hit, /miss: an intersector object (type code 14) in the
//    scene, given one packet per test that moves its segment; the test, the
//    marker and the answer packet are all counted. Its kd-trees are built
//    before timing (the first tests of a still scene build them).
//  - BM_LibraryVisitor/hit, /miss: baseline in the same run, the scene
//    library's intersection visitor with a line segment intersector over the
//    same scene root and segments, without acceleration.
// Hitting segments fall from above onto the scene; missing ones cross the
// scene's bound among the objects without touching any (chosen before
// timing with the library's own test). Rates are tests per second of
// processor time.
//   bench_intersector --benchmark_counters_tabular=true
// Ratio = BM_Intersector tests/s / BM_LibraryVisitor tests/s, per kind.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <osg/Geode>
#include <osg/Geometry>
#include <osg/TriangleFunctor>
#include <osgDB/ReadFile>
#include <osgUtil/IntersectionVisitor>
#include <osgUtil/LineSegmentIntersector>

#include "objects/ShapeObjects.h"
#include "objects/VisBaseObject.h"
#include "objects/VisIntersectorObject.h"
#include "protocol/Items.h"
#include "scene/ObjectKinds.h"
#include "scene/PacketSink.h"
#include "tests/support/BareObject.h"

namespace {

constexpr int GRID = 500;
constexpr int SEGMENTS = 256;
constexpr float EXTENT = 100.f; // the scene spans -50 ... 50 in x and y

struct Dropping : PacketSink
{
    void send(GNP2::Packet* packet) override { delete packet; }
};

float height(float x, float y)
{
    return 2.f * std::sin(x * 0.15f) * std::cos(y * 0.11f);
}

osg::ref_ptr<osg::Geode> heightField()
{
    osg::ref_ptr<osg::Geometry> geometry = new osg::Geometry;
    osg::ref_ptr<osg::Vec3Array> vertices = new osg::Vec3Array;
    for (int j = 0; j <= GRID; ++j)
        for (int i = 0; i <= GRID; ++i) {
            const float x = -EXTENT / 2 + EXTENT * float(i) / GRID;
            const float y = -EXTENT / 2 + EXTENT * float(j) / GRID;
            vertices->push_back({x, y, height(x, y)});
        }
    geometry->setVertexArray(vertices.get());
    for (int j = 0; j < GRID; ++j) {
        osg::ref_ptr<osg::DrawElementsUInt> strip = new osg::DrawElementsUInt(GL_TRIANGLE_STRIP);
        for (int i = 0; i <= GRID; ++i) {
            strip->push_back(unsigned((j + 1) * (GRID + 1) + i));
            strip->push_back(unsigned(j * (GRID + 1) + i));
        }
        geometry->addPrimitiveSet(strip.get());
    }
    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    geode->addDrawable(geometry.get());
    return geode;
}

struct TriangleCount
{
    std::size_t count = 0;
    void operator()(const osg::Vec3&, const osg::Vec3&, const osg::Vec3&) { ++count; }
};

class CountTriangles : public osg::NodeVisitor
{
public:
    CountTriangles() : osg::NodeVisitor(TRAVERSE_ALL_CHILDREN) {}
    void apply(osg::Drawable& drawable) override
    {
        osg::TriangleFunctor<TriangleCount> functor;
        drawable.accept(functor);
        triangles += functor.count;
    }
    std::size_t triangles = 0;
};

struct Segment
{
    osg::Vec3f start, end;
};

struct World
{
    osg::ref_ptr<osg::Group> root = new osg::Group;
    std::size_t triangles = 0;
    std::vector<Segment> hitting, missing;
    Dropping sink;
    osg::ref_ptr<VisIntersectorObject> intersector;

    World()
    {
        osg::ref_ptr<testsupport::BareObject> ground = new testsupport::BareObject;
        ground->getTransform()->addChild(heightField().get());
        root->addChild(ground.get());

        // Model files, each copy placed by its own object.
        std::mt19937 random(5);
        std::uniform_real_distribution<float> across(-EXTENT / 2 + 5, EXTENT / 2 - 5);
        for (const char* name : {"robot-arm.obj", "flex-beam.obj"}) {
            osg::ref_ptr<osg::Node> model =
                osgDB::readRefNodeFile(std::string(ORVANE_MODELS_DIR "/") + name);
            for (int i = 0; model && i < 40; ++i) {
                osg::ref_ptr<testsupport::BareObject> copy = new testsupport::BareObject;
                copy->getTransform()->addChild(model.get());
                const float x = across(random), y = across(random);
                copy->setPosition(std::vector<float>{x, y, height(x, y)});
                root->addChild(copy.get());
            }
        }

        // Shapes of every kind from their packets.
        for (int i = 0; i < 300; ++i) {
            osg::ref_ptr<VisBaseObject> shape = new VisBaseObject(ObjectContext{});
            root->addChild(shape.get());
            GNP2::Packet packet;
            packet.setHeader(GNP2::makeHeader(std::uint32_t(i + 1), TYPE_VisBaseObject));
            const int kind = 1 + i % 11;
            packet.setIntVector(item::shape::ShapeKind, {kind});
            const float x = across(random), y = across(random);
            packet.setFloatVector(item::shape::Position, {x, y, height(x, y) + 1.f});
            packet.setFloatVector(item::shape::Scale, {1.5f, 1.f, 1.2f});
            if (kind == 7)
                packet.setFloatVector(item::shape::Parameters, {8.f, 0.05f});
            if (kind == 8)
                packet.setFloatVector(item::shape::Parameters, {0.3f, 24.f, 10.f});
            if (kind == 9)
                packet.setFloatVector(item::shape::Parameters, {0.f, 0.6f, 0.8f});
            if (kind == 10)
                packet.setFloatVector(item::shape::Parameters, {0.1f});
            shape->initialize(packet);
            shape->update(packet);
        }

        CountTriangles counting;
        root->accept(counting);
        triangles = counting.triangles;

        // Hitting: straight down onto the scene. Missing: level through the
        // objects' heights, kept when the library finds nothing.
        std::uniform_real_distribution<float> unit(-1.f, 1.f);
        while (hitting.size() < SEGMENTS) {
            const float x = across(random), y = across(random);
            hitting.push_back({{x, y, 30.f}, {x + unit(random), y + unit(random), -30.f}});
        }
        for (int tries = 0; missing.size() < SEGMENTS && tries < 200000; ++tries) {
            const float x = across(random), y = across(random), z = 2.5f + 1.5f * unit(random);
            const osg::Vec3f direction(unit(random), unit(random), 0.f);
            const Segment candidate{{x, y, z}, osg::Vec3f(x, y, z) + direction * 8.f};
            if (!libraryHits(candidate) && libraryCrossesBounds(candidate))
                missing.push_back(candidate);
        }

        intersector = new VisIntersectorObject(ObjectContext{&sink, {}});
        root->addChild(intersector.get());
        GNP2::Packet creating;
        fill(creating, hitting.front());
        creating.setFloatVector(item::intersector::MarkerSize, {0.1f});
        creating.setIntVector(item::intersector::DisplayMode, {1});
        intersector->initialize(creating);
        intersector->update(creating);
    }

    static void fill(GNP2::Packet& packet, const Segment& segment)
    {
        packet.setHeader(GNP2::makeHeader(99, TYPE_VisIntersectorObject));
        packet.setIntVector(item::every::Connection, {0});
        packet.setFloatVector(item::every::Time, {1.f});
        packet.setFloatVector(item::intersector::Start,
                              {segment.start.x(), segment.start.y(), segment.start.z()});
        packet.setFloatVector(item::intersector::End,
                              {segment.end.x(), segment.end.y(), segment.end.z()});
    }

    bool libraryHits(const Segment& segment) const
    {
        osg::ref_ptr<osgUtil::LineSegmentIntersector> plain =
            new osgUtil::LineSegmentIntersector(segment.start, segment.end);
        osgUtil::IntersectionVisitor visitor(plain.get());
        root->accept(visitor);
        return plain->containsIntersections();
    }

    // The segment passes through the bound of at least one object, so the
    // test has triangles to look at.
    bool libraryCrossesBounds(const Segment& segment) const
    {
        for (unsigned i = 0; i < root->getNumChildren(); ++i) {
            const osg::BoundingSphere bound = root->getChild(i)->getBound();
            const osg::Vec3f along = segment.end - segment.start;
            const float t =
                std::clamp((bound.center() - segment.start) * along / along.length2(), 0.f, 1.f);
            if ((segment.start + along * t - bound.center()).length() < bound.radius() * 0.7f)
                return true;
        }
        return false;
    }
};

World& world()
{
    static World built;
    return built;
}

const std::vector<Segment>& segmentsOf(const World& w, int kind)
{
    return kind == 0 ? w.hitting : w.missing;
}

void counters(benchmark::State& state, const World& w, std::size_t tests)
{
    state.SetItemsProcessed(std::int64_t(tests));
    state.counters["triangles"] = double(w.triangles);
    state.counters["tests/s"] = benchmark::Counter(double(tests), benchmark::Counter::kIsRate);
    state.SetLabel(state.range(0) == 0 ? "hit" : "miss");
}

void BM_Intersector(benchmark::State& state)
{
    World& w = world();
    const std::vector<Segment>& segments = segmentsOf(w, int(state.range(0)));
    std::vector<GNP2::Packet> packets(segments.size());
    for (std::size_t i = 0; i < segments.size(); ++i)
        World::fill(packets[i], segments[i]);
    for (int warm = 0; warm < 4; ++warm) // the still scene gets its trees
        for (const GNP2::Packet& packet : packets)
            w.intersector->update(packet);
    int hits = 0;
    std::size_t tests = 0;
    for (auto _ : state) {
        const GNP2::Packet& packet = packets[tests % packets.size()];
        w.intersector->update(packet);
        hits += w.intersector->lastHit() ? 1 : 0;
        ++tests;
    }
    counters(state, w, tests);
    state.counters["hit share"] = double(hits) / double(std::max<std::size_t>(tests, 1));
}

void BM_LibraryVisitor(benchmark::State& state)
{
    World& w = world();
    const std::vector<Segment>& segments = segmentsOf(w, int(state.range(0)));
    int hits = 0;
    std::size_t tests = 0;
    for (auto _ : state) {
        const Segment& segment = segments[tests % segments.size()];
        osg::ref_ptr<osgUtil::LineSegmentIntersector> plain =
            new osgUtil::LineSegmentIntersector(segment.start, segment.end);
        osgUtil::IntersectionVisitor visitor(plain.get());
        w.root->accept(visitor);
        hits += plain->containsIntersections() ? 1 : 0;
        ++tests;
    }
    counters(state, w, tests);
    state.counters["hit share"] = double(hits) / double(std::max<std::size_t>(tests, 1));
}

BENCHMARK(BM_Intersector)->Arg(0)->Arg(1)->MeasureProcessCPUTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LibraryVisitor)
    ->Arg(0)
    ->Arg(1)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMicrosecond);

} // namespace
