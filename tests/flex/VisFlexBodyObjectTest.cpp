// The flexible body built from packets: the shape it takes, what an update
// keeps, the reports for bad items, the normals, the back-end setting and
// the replayed shape.

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include <osg/Geode>
#include <osgUtil/SmoothingVisitor>
#include <osgUtil/UpdateVisitor>

#include "FlexTestSupport.h"
#include "flex/VisFlexBodyObject.h"
#include "scene/DrawablePurpose.h"
#include "scene/ObjectKinds.h"
#include "tests/support/Packets.h"

namespace {

using testsupport::Items;
using testsupport::makePacket;

constexpr const char* MODEL = "beam.osgt";
// A vertex at the free end of the beam (x = 4, y = -0.1, z = 0.1).
constexpr std::size_t TIP = 32;
const testsupport::Address BODY{7, TYPE_VisFlexBodyObject, 3};

// Nodes along the beam's top and bottom edges (y = 0): x = 0, 1, ... 4.
osg::ref_ptr<osg::Vec3Array> beamNodes()
{
    osg::ref_ptr<osg::Vec3Array> nodes = new osg::Vec3Array;
    for (float z : {-0.1f, 0.1f})
        for (int i = 0; i <= 4; ++i)
            nodes->push_back(osg::Vec3(float(i), 0.0f, z));
    return nodes;
}

// A cantilever's bend: tip lifted by `tip`, nodes on the beam's edges.
osg::ref_ptr<osg::Vec3Array> bend(float tip)
{
    osg::ref_ptr<osg::Vec3Array> d = new osg::Vec3Array;
    const osg::ref_ptr<osg::Vec3Array> nodes = beamNodes();
    for (const osg::Vec3& x : *nodes) {
        const float s = x.x() / 4.0f;
        d->push_back(osg::Vec3(-x.z() * tip * 1.5f * s * (2 - s) / 4.0f, 0.0f,
                               tip * s * s * (3 - s) / 2.0f));
    }
    return d;
}

Items creating(const osg::Vec3Array& nodes)
{
    Items items;
    items.strings[item::flex_body::FileName] = MODEL;
    items.ints[item::flex_body::NodeCount] = {int(nodes.size())};
    items.floats[item::flex_body::Nodes] = flextest::planar(nodes);
    items.floats[item::every::Time] = {0.5f};
    return items;
}

Items displaced(const osg::Vec3Array& d)
{
    Items items;
    items.floats[item::flex_body::Displacements] = flextest::planar(d);
    return items;
}

class FlexBody : public ::testing::Test
{
protected:
    void SetUp() override { flextest::useTestSettings(); }

    osg::ref_ptr<VisFlexBodyObject> newBody(DeformationMode mode = DeformationMode::Processor)
    {
        return new VisFlexBodyObject(context(), mode);
    }
    ObjectContext context() { return ObjectContext{nullptr, {.files = &files}}; }

    // The body's geode: the source beam and its deformed copy.
    static osg::Geode* geodeOf(const VisFlexBodyObject& body)
    {
        return body.model() ? body.model()->asGeode() : nullptr;
    }
    static osg::Geometry* source(const VisFlexBodyObject& body)
    {
        return geodeOf(body)->getDrawable(0)->asGeometry();
    }
    static osg::Geometry* copy(const VisFlexBodyObject& body)
    {
        return body.deformation().copyOf(source(body));
    }
    static const osg::Vec3Array& vertices(const osg::Geometry* geometry)
    {
        return *static_cast<const osg::Vec3Array*>(geometry->getVertexArray());
    }
    static std::vector<osg::Vec3> shape(const VisFlexBodyObject& body)
    {
        return vertices(copy(body)).asVector();
    }

    flextest::OneModel files{flextest::beamGeode(4.0f, 16)};
};

TEST_F(FlexBody, ZeroDisplacementsLeaveEveryVertexInPlace)
{
    osg::ref_ptr<VisFlexBodyObject> body = newBody();
    Items items = creating(*beamNodes());
    items.floats[item::flex_body::Displacements] = std::vector<float>(30, 0.0f);
    testsupport::deliver(*body, items, true, BODY);
    ASSERT_TRUE(body->isInitialized());
    ASSERT_NE(copy(*body), nullptr);
    EXPECT_EQ(shape(*body), vertices(source(*body)).asVector());
    EXPECT_EQ(files.requested, std::vector<std::string>{MODEL});
}

TEST_F(FlexBody, EachNodesDisplacementIsReproducedAtTheNode)
{
    // Nodes on vertices of the beam, displaced every way.
    osg::ref_ptr<osg::Geometry> beam = flextest::makeBeam(4.0f, 16);
    osg::ref_ptr<osg::Vec3Array> nodes = new osg::Vec3Array;
    for (std::size_t v : {0u, 9u, 17u, 40u, 51u, 70u, 101u, 130u})
        nodes->push_back(vertices(beam.get())[v]);
    osg::ref_ptr<osg::Vec3Array> d = flextest::randomPoints(nodes->size(), 21, 0.3f);

    osg::ref_ptr<VisFlexBodyObject> body = newBody();
    testsupport::deliver(*body, creating(*nodes), true, BODY);
    testsupport::deliver(*body, displaced(*d), false, BODY);
    const osg::Vec3Array& from = vertices(source(*body));
    const std::vector<osg::Vec3> to = shape(*body);
    int met = 0;
    for (std::size_t v = 0; v < from.size(); ++v)
        for (std::size_t j = 0; j < nodes->size(); ++j)
            if (from[v] == (*nodes)[j]) {
                const osg::Vec3 expected = (*nodes)[j] + (*d)[j];
                for (int a = 0; a < 3; ++a)
                    EXPECT_NEAR(to[v][a], expected[a], 1e-4f) << "vertex " << v;
                ++met;
            }
    EXPECT_GE(met, int(nodes->size()));
}

TEST_F(FlexBody, AnUpdateWithoutDisplacementsKeepsTheShape)
{
    osg::ref_ptr<VisFlexBodyObject> body = newBody();
    testsupport::deliver(*body, creating(*beamNodes()), true, BODY);
    testsupport::deliver(*body, displaced(*bend(0.8f)), false, BODY);
    const std::vector<osg::Vec3> bent = shape(*body);
    ASSERT_EQ(vertices(source(*body))[TIP], osg::Vec3(4.0f, -0.1f, 0.1f));
    EXPECT_NEAR(bent[TIP].z() - vertices(source(*body))[TIP].z(), 0.8f, 1e-3f) << "the tip";

    testsupport::deliver(*body, Items{.floats = {{item::flex_body::Position, {1, 2, 3}}}}, false,
                         BODY);
    EXPECT_EQ(shape(*body), bent);
    EXPECT_EQ(body->getTranslation().getTrans(), osg::Vec3d(1, 2, 3));
}

TEST_F(FlexBody, TheSharedModelIsNeverChanged)
{
    osg::ref_ptr<VisFlexBodyObject> body = newBody();
    testsupport::deliver(*body, creating(*beamNodes()), true, BODY);
    testsupport::deliver(*body, displaced(*bend(0.8f)), false, BODY);
    osg::Geode* shared = files.model->asGeode();
    ASSERT_EQ(shared->getNumDrawables(), 1u);
    EXPECT_EQ(shared->getDrawable(0)->getUserData(), nullptr);
    EXPECT_EQ(shared->getDrawable(0)->getStateSet(), nullptr);
    EXPECT_NE(body->model(), files.model.get());
    EXPECT_EQ(body->model()->getDataVariance(), osg::Object::DYNAMIC);
}

struct BadItems
{
    const char* name;
    int item; // the error number reported
    void (*spoil)(Items& items);
};

class FlexBodyBadItems : public FlexBody, public ::testing::WithParamInterface<BadItems>
{
};

TEST_P(FlexBodyBadItems, AreReportedAndTheBodyIsBuiltOnceTheyArrive)
{
    const BadItems& row = GetParam();
    osg::ref_ptr<VisFlexBodyObject> body = newBody();
    Items first = creating(*beamNodes());
    first.floats[item::flex_body::Displacements] = flextest::planar(*bend(0.6f));
    row.spoil(first);
    testing::internal::CaptureStdout();
    testsupport::deliver(*body, first, true, BODY);
    const std::string said = testing::internal::GetCapturedStdout();
    EXPECT_FALSE(body->isInitialized());
    EXPECT_EQ(body->getTransform()->getNumChildren(), 0u);
    EXPECT_NE(said.find(testsupport::skippedLine("initializing", "VisFlexBodyObject") + "\n" +
                        testsupport::accessorFailure(row.item)),
              std::string::npos)
        << said;

    // The missing piece alone: the rest comes from the state.
    const Items whole = creating(*beamNodes());
    Items fix;
    if (row.item == item::flex_body::FileName)
        fix.strings = whole.strings;
    else if (row.item == item::flex_body::NodeCount)
        fix.ints = whole.ints;
    else
        fix.floats[row.item] = whole.floats.at(row.item);
    testing::internal::CaptureStdout();
    testsupport::deliver(*body, fix, false, BODY);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    ASSERT_TRUE(body->isInitialized());
    EXPECT_NEAR(shape(*body)[TIP].z() - vertices(source(*body))[TIP].z(), 0.6f, 1e-3f)
        << "the displacements of the first packet";
}

INSTANTIATE_TEST_SUITE_P(
    Rows, FlexBodyBadItems,
    ::testing::Values(BadItems{"NoModelName", 12, [](Items& i) { i.strings.clear(); }},
                      BadItems{"NoReferenceNodes", 73, [](Items& i) { i.floats.erase(73); }},
                      BadItems{"NoNodeCount", 74, [](Items& i) { i.ints.clear(); }},
                      BadItems{"NodesShorterThan3N", 73,
                               [](Items& i) { i.floats[item::flex_body::Nodes].resize(29); }},
                      BadItems{"NodesAsIntegers", 73,
                               [](Items& i) {
                                   i.floats.erase(73);
                                   i.ints[item::flex_body::Nodes] = std::vector<int>(30, 0);
                               }},
                      BadItems{"NoNodes", 74,
                               [](Items& i) { i.ints[item::flex_body::NodeCount] = {0}; }},
                      BadItems{"NegativeNodeCount", 74,
                               [](Items& i) { i.ints[item::flex_body::NodeCount] = {-3}; }}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(FlexBody, BadDisplacementsInAnUpdateAreReportedAndSkipped)
{
    osg::ref_ptr<VisFlexBodyObject> body = newBody();
    testsupport::deliver(*body, creating(*beamNodes()), true, BODY);
    testsupport::deliver(*body, displaced(*bend(0.5f)), false, BODY);
    const std::vector<osg::Vec3> bent = shape(*body);

    Items shortItem = displaced(*bend(0.9f));
    shortItem.floats[item::flex_body::Displacements].resize(29);
    Items asIntegers;
    asIntegers.ints[item::flex_body::Displacements] = std::vector<int>(30, 1);
    for (const Items& bad : {shortItem, asIntegers}) {
        testing::internal::CaptureStdout();
        EXPECT_NO_THROW(testsupport::deliver(*body, bad, false, BODY));
        const std::string said = testing::internal::GetCapturedStdout();
        EXPECT_NE(said.find(testsupport::skippedLine("updating", "VisFlexBodyObject") + "\n" +
                            testsupport::accessorFailure(71)),
                  std::string::npos)
            << said;
        EXPECT_EQ(shape(*body), bent);
    }
}

TEST_F(FlexBody, DisplacementsThatAreNotNumbersKeepTheShapeAndAreReportedOnce)
{
    osg::ref_ptr<VisFlexBodyObject> body = newBody();
    testsupport::deliver(*body, creating(*beamNodes()), true, BODY);
    testsupport::deliver(*body, displaced(*bend(0.5f)), false, BODY);
    const std::vector<osg::Vec3> bent = shape(*body);

    osg::ref_ptr<osg::Vec3Array> broken = bend(0.9f);
    (*broken)[4].x() = std::nanf("");
    testing::internal::CaptureStdout();
    testsupport::deliver(*body, displaced(*broken), false, BODY);
    testsupport::deliver(*body, displaced(*broken), false, BODY);
    const std::string said = testing::internal::GetCapturedStdout();
    EXPECT_EQ(shape(*body), bent);
    const std::string line = "VisFlexBodyObject: the node displacements give no finite "
                             "deformation; the previous shape is kept.\n";
    EXPECT_EQ(said, line) << "once while it lasts";

    testsupport::deliver(*body, displaced(*bend(0.9f)), false, BODY);
    EXPECT_NE(shape(*body), bent);
    testing::internal::CaptureStdout();
    testsupport::deliver(*body, displaced(*broken), false, BODY);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), line) << "said again after a good field";
}

TEST_F(FlexBody, Item85RecomputesTheNormalsOfTheCurrentShape)
{
    osg::ref_ptr<VisFlexBodyObject> body = newBody();
    testsupport::deliver(*body, creating(*beamNodes()), true, BODY);
    testsupport::deliver(*body, displaced(*bend(1.5f)), false, BODY);
    const auto* copied = static_cast<const osg::Vec3Array*>(copy(*body)->getNormalArray());
    const std::vector<osg::Vec3> before = copied->asVector();
    EXPECT_EQ(before,
              static_cast<const osg::Vec3Array*>(source(*body)->getNormalArray())->asVector())
        << "without item 85 the copy keeps the normals it was copied with";

    // What smoothing gives for the bent vertices, on a geometry of its own.
    osg::ref_ptr<osg::Geometry> expected =
        static_cast<osg::Geometry*>(copy(*body)->clone(osg::CopyOp::DEEP_COPY_ALL));
    osgUtil::SmoothingVisitor::smooth(*expected);

    testsupport::deliver(*body, Items{.ints = {{item::flex_body::RecomputeNormals, {1}}}}, false,
                         BODY);
    const auto* normals = static_cast<const osg::Vec3Array*>(copy(*body)->getNormalArray());
    const auto* want = static_cast<const osg::Vec3Array*>(expected->getNormalArray());
    ASSERT_EQ(normals->size(), want->size());
    int changed = 0;
    for (std::size_t v = 0; v < normals->size(); ++v) {
        EXPECT_LT(((*normals)[v] - (*want)[v]).length(), 1e-5f) << "vertex " << v;
        changed += ((*normals)[v] - before[v]).length() > 1e-3f;
    }
    EXPECT_GT(changed, int(normals->size()) / 2);
}

TEST_F(FlexBody, TheBackEndChoiceIsAskedOncePerBody)
{
    struct Choice : DeformationChoice
    {
        int deformationMode() const override { return mode; }
        int mode = 0;
    } choice;
    ObjectContext chosen = context();
    chosen.services.deformation = &choice;

    choice.mode = 1;
    testing::internal::CaptureStdout();
    osg::ref_ptr<VisFlexBodyObject> early = new VisFlexBodyObject(chosen);
    testsupport::deliver(*early, creating(*beamNodes()), true, BODY);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(early->deformation().mode(), DeformationMode::OpenCL);

    choice.mode = 0;
    osg::ref_ptr<VisFlexBodyObject> late = new VisFlexBodyObject(chosen);
    EXPECT_EQ(late->deformation().mode(), DeformationMode::Processor);
    EXPECT_EQ(early->deformation().mode(), DeformationMode::OpenCL);
    // Until a device back-end exists, every mode bends on the processor.
    testsupport::deliver(*early, displaced(*bend(0.5f)), false, BODY);
    EXPECT_NEAR(shape(*early)[TIP].z() - vertices(source(*early))[TIP].z(), 0.5f, 1e-3f);

    choice.mode = 7;
    osg::ref_ptr<VisFlexBodyObject> other = new VisFlexBodyObject(chosen);
    EXPECT_EQ(other->deformation().mode(), DeformationMode::Processor);
    // Without a choice in the services the body deforms on the processor.
    osg::ref_ptr<VisFlexBodyObject> unchosen = new VisFlexBodyObject(context());
    EXPECT_EQ(unchosen->deformation().mode(), DeformationMode::Processor);
}

TEST_F(FlexBody, AModelStillLoadingIsBuiltByTheFrameWithTheWholeState)
{
    files.loading = true;
    osg::ref_ptr<osg::Group> root = new osg::Group;
    osg::ref_ptr<VisFlexBodyObject> body = newBody();
    root->addChild(body.get());
    testsupport::deliver(*body, creating(*beamNodes()), true, BODY);
    Items later = displaced(*bend(0.7f));
    later.floats[item::flex_body::Position] = {0, 0, 2};
    testsupport::deliver(*body, later, false, BODY);
    EXPECT_FALSE(body->isInitialized());
    osgUtil::UpdateVisitor frame;
    root->accept(frame);
    EXPECT_FALSE(body->isInitialized()) << "still loading";

    files.loading = false;
    root->accept(frame);
    ASSERT_TRUE(body->isInitialized());
    EXPECT_EQ(body->getUpdateCallback(), nullptr);
    EXPECT_EQ(body->getTranslation().getTrans(), osg::Vec3d(0, 0, 2));
    EXPECT_NEAR(shape(*body)[TIP].z() - vertices(source(*body))[TIP].z(), 0.7f, 1e-3f);
}

TEST_F(FlexBody, TheReplayedShapeEqualsTheLiveOne)
{
    // Live: created, bent three ways, moved, smoothed. Replay: a new body
    // given the recorded state packet.
    osg::ref_ptr<VisFlexBodyObject> live = newBody();
    testsupport::deliver(*live, creating(*beamNodes()), true, BODY);
    for (float tip : {0.3f, -0.9f, 0.45f})
        testsupport::deliver(*live, displaced(*bend(tip)), false, BODY);
    testsupport::deliver(*live, Items{.floats = {{item::flex_body::Position, {1, 0, 0}}}}, false,
                         BODY);
    const std::unique_ptr<GNP2::Packet> recorded = std::make_unique<GNP2::Packet>();
    recorded->update(live->getPacket());

    osg::ref_ptr<VisFlexBodyObject> replayed = newBody();
    testsupport::deliver(*replayed, *recorded, true);
    ASSERT_TRUE(replayed->isInitialized());
    EXPECT_EQ(shape(*replayed), shape(*live));
    EXPECT_EQ(replayed->getTransform()->getMatrix(), live->getTransform()->getMatrix());
}

TEST_F(FlexBody, ReleasesItsModelWhenDestroyed)
{
    {
        osg::ref_ptr<VisFlexBodyObject> body = newBody();
        testsupport::deliver(*body, creating(*beamNodes()), true, BODY);
    }
    EXPECT_EQ(files.released, std::vector<std::string>{MODEL});
}

} // namespace
