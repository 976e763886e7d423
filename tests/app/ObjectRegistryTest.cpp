// Every kind the program registers, built through the real factory from a
// minimal creating packet, with the services handed over the one way they
// reach objects: the context the factory gets.

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include <osg/Geode>
#include <osg/ShapeDrawable>

#include "app/ObjectRegistry.h"
#include "gnp2/Packet.h"
#include "scene/ObjectKinds.h"
#include "scene/Vis3DObject.h"
#include "scene/ViewHost.h"

namespace {

// A file source whose every file is loaded already: a unit box.
class ReadyFiles : public FileSource
{
public:
    osg::ref_ptr<osg::Node> loadOrCloneFile(const std::string& name) override
    {
        requested.push_back(name);
        osg::ref_ptr<osg::Geode> geode = new osg::Geode;
        geode->addDrawable(new osg::ShapeDrawable(new osg::Box(osg::Vec3(), 1.0f)));
        return geode;
    }
    void releaseFile(const std::string& name) override { released.push_back(name); }
    FileState fileState(const std::string&) const override { return FileState::Loaded; }
    osg::ref_ptr<osg::Node> createTerrainNode(UserMessages*) override { return nullptr; }

    std::vector<std::string> requested;
    std::vector<std::string> released;
};

// Views need a real viewer; this host counts what the factory asks of it.
class CountingViewHost : public ViewHost
{
public:
    VisObject* createView(const ObjectContext& context) override
    {
        ++viewsAsked;
        lastFiles = context.services.files;
        return nullptr;
    }
    void resetViews() override {}
    void switchLightsOff() override {}

    int viewsAsked = 0;
    FileSource* lastFiles = nullptr;
};

// The smallest packet each kind builds from (type code, object number 7).
std::unique_ptr<GNP2::Packet> creatingPacket(int code)
{
    auto packet = std::make_unique<GNP2::Packet>();
    packet->setHeader(GNP2::makeHeader(7, std::uint32_t(code)));
    packet->setFloatVector(item::every::Time, {1.5f});
    packet->setIntVector(item::every::Connection, {0});
    switch (code) {
    case TYPE_VisBaseObject:
        packet->setIntVector(item::shape::ShapeKind, {1}); // a box
        break;
    case TYPE_VisFileObject:
        packet->setString(item::model_file::FileName, "arm.osgt");
        break;
    case TYPE_VisLightObject:
        packet->setIntVector(item::light::Directional, {0}); // positional
        break;
    case TYPE_VisTextObject:
        packet->setString(item::text::Font, "arial.ttf");
        packet->setString(item::text::Text, "label");
        packet->setIntVector(item::text::ShowValue, {0});
        packet->setIntVector(item::text::Alignment, {0});
        break;
    case TYPE_VisWeatherObject:
        packet->setIntVector(item::weather::WeatherKind, {2}); // fog
        packet->setFloatVector(item::weather::FogStart, {1.0f});
        packet->setFloatVector(item::weather::FogEnd, {50.0f});
        packet->setIntVector(item::weather::FogOn, {1});
        packet->setIntVector(item::weather::Colour, {128, 128, 128});
        break;
    case TYPE_VisFlexBodyObject:
        packet->setString(item::flex_body::FileName, "beam.osgt");
        packet->setIntVector(item::flex_body::NodeCount, {1});
        packet->setFloatVector(item::flex_body::Nodes, {0.0f, 0.0f, 0.0f});
        break;
    case TYPE_VisFlexSurfaceObject: // a 2 x 2 grid
        packet->setIntVector(item::flex_surface::Rows, {2});
        packet->setIntVector(item::flex_surface::Columns, {2});
        packet->setFloatVector(item::flex_surface::X, {0.0f, 1.0f, 0.0f, 1.0f});
        packet->setFloatVector(item::flex_surface::Y, {0.0f, 0.0f, 1.0f, 1.0f});
        packet->setFloatVector(item::flex_surface::Z, {0.0f, 0.0f, 0.0f, 0.0f});
        break;
    case TYPE_VisParticleEffectObject:
        packet->setIntVector(item::particle_effect::Effect, {1}); // fire
        break;
    case TYPE_VisFlowPipeObject: // a straight pipe, a chain of one
        packet->setIntVector(item::flow_pipe::PipeKind, {1});
        packet->setFloatVector(item::flow_pipe::Length, {2.0f});
        packet->setFloatVector(item::flow_pipe::InletRadius, {0.2f});
        packet->setFloatVector(item::flow_pipe::OutletRadius, {0.2f});
        packet->setIntVector(item::flow_pipe::TubeColour, {200, 200, 255});
        packet->setIntVector(item::flow_pipe::TubeOpacity, {1});
        packet->setFloatVector(item::flow_pipe::Start, {0.0f, 0.0f, 0.0f});
        packet->setFloatVector(item::flow_pipe::Orientation, {1.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f});
        packet->setIntVector(item::flow_pipe::Upstream, {-1});
        packet->setIntVector(item::flow_pipe::Downstream, {-1});
        break;
    case TYPE_VisHUDObject:
        packet->setIntVector(item::hud::Element, {8}); // a button
        packet->setFloatVector(item::hud::Position, {100.0f, 100.0f});
        packet->setFloatVector(item::hud::Rotation, {0.0f});
        packet->setFloatVector(item::hud::Size, {50.0f, 20.0f});
        packet->setFloatVector(item::hud::Value, {1.0f});
        break;
    case TYPE_VisLineObject:
        packet->setIntVector(item::line::Colour, {255, 255, 0});
        packet->setFloatVector(item::line::Opacity, {1.0f});
        packet->setIntVector(item::line::LineKind, {1}); // a polyline
        packet->setFloatVector(item::line::Width, {2.0f});
        packet->setIntVector(item::line::PointCount, {2});
        packet->setFloatVector(item::line::Points, {0.0f, 0.0f, 0.0f, 1.0f, 1.0f, 1.0f});
        break;
    case TYPE_VisIntersectorObject:
        packet->setFloatVector(item::intersector::Start,
                               {0.0f, 0.0f, 0.0f}); // the segment's start and end
        packet->setFloatVector(item::intersector::End, {1.0f, 0.0f, 0.0f});
        packet->setFloatVector(item::intersector::MarkerSize, {0.1f}); // marker size
        packet->setIntVector(item::intersector::DisplayMode, {1});     // line and marker shown
        break;
    default:
        break;
    }
    return packet;
}

TEST(ObjectRegistry, RegistersTheKindsThatAreBuilt)
{
    ObjectFactory factory;
    registerObjectKinds(factory);
    std::set<int> registered;
    for (const ObjectKind& kind : OBJECT_KINDS)
        if (factory.has(kind.code))
            registered.insert(kind.code);
    const std::set<int> expected = {
        TYPE_VisBaseObject,        TYPE_VisFileObject, TYPE_VisLightObject,
        TYPE_VisFlowPipeObject,    TYPE_VisTextObject, TYPE_VisHUDObject,
        TYPE_VisWeatherObject,     TYPE_VisViewObject, TYPE_VisFlexBodyObject,
        TYPE_VisFlexSurfaceObject, TYPE_VisLineObject, TYPE_VisParticleEffectObject,
        TYPE_VisIntersectorObject};
    EXPECT_EQ(registered, expected);
}

TEST(ObjectRegistry, EveryRegisteredKindIsBuiltFromItsCreatingPacket)
{
    ObjectFactory factory;
    registerObjectKinds(factory);
    ReadyFiles files;
    CountingViewHost views;
    const ObjectContext context{nullptr, {.viewHost = &views, .files = &files}};

    int built = 0;
    for (const ObjectKind& kind : OBJECT_KINDS) {
        if (!factory.has(kind.code) || kind.code == TYPE_VisViewObject)
            continue;
        SCOPED_TRACE(std::string(kind.className));
        osg::ref_ptr<osg::Group> parent = new osg::Group;
        osg::ref_ptr<VisObject> object = factory.create(kind.code, context);
        ASSERT_NE(object, nullptr);
        EXPECT_EQ(std::string(object->className()), kind.className);
        EXPECT_EQ(object->services().files, &files) << "the context's services reach the object";
        parent->addChild(object.get());

        const auto packet = creatingPacket(kind.code);
        testing::internal::CaptureStdout();
        object->initialize(*packet);
        object->update(*packet);
        const std::string output = testing::internal::GetCapturedStdout();
        EXPECT_TRUE(object->isInitialized()) << output;
        EXPECT_EQ(output.find("An error occured"), std::string::npos) << output;
        EXPECT_FLOAT_EQ(object->getTime(), 1.5f);
        EXPECT_GT(object->getNumChildren(), 0u) << "the kind built its nodes";

        // A 3D kind follows a later position (a particle effect moves its
        // emitter instead, a line's item 1 holds its points, a flow pipe is
        // placed by its start point, item 14, and an intersector draws in
        // world coordinates from its segment).
        auto* placed = dynamic_cast<Vis3DObject*>(object.get());
        if (placed && kind.code != TYPE_VisParticleEffectObject &&
            kind.code != TYPE_VisLineObject && kind.code != TYPE_VisIntersectorObject) {
            GNP2::Packet move;
            move.setHeader(packet->header());
            move.setFloatVector(kind.code == TYPE_VisFlowPipeObject ? item::flow_pipe::Start
                                                                    : item::placement::Position,
                                {1.0f, 2.0f, 3.0f});
            move.setFloatVector(GNP2::ITEM_TIME, {2.0f});
            object->update(move);
            EXPECT_EQ(placed->getTranslation().getTrans(), osg::Vec3d(1.0, 2.0, 3.0));
        }
        ++built;
    }
    EXPECT_EQ(built, 12);
    EXPECT_EQ(files.requested, (std::vector<std::string>{"arm.osgt", "beam.osgt"}));
}

TEST(ObjectRegistry, ViewsAreMadeByTheViewHostOfTheContext)
{
    ObjectFactory factory;
    registerObjectKinds(factory);
    ReadyFiles files;
    CountingViewHost views;
    EXPECT_EQ(factory.create(TYPE_VisViewObject, ObjectContext{}), nullptr)
        << "no view host: no view";
    factory.create(TYPE_VisViewObject,
                   ObjectContext{nullptr, {.viewHost = &views, .files = &files}});
    EXPECT_EQ(views.viewsAsked, 1);
    EXPECT_EQ(views.lastFiles, &files);
}

} // namespace
