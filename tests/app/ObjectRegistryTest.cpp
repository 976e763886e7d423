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
    packet->setFloatVector(GNP2::ITEM_TIME, {1.5f});
    packet->setIntVector(GNP2::ITEM_CONNECTION, {0});
    switch (code) {
    case TYPE_VisBaseObject:
        packet->setIntVector(5, {1}); // a box
        break;
    case TYPE_VisFileObject:
        packet->setString(12, "arm.osgt");
        break;
    case TYPE_VisLightObject:
        packet->setIntVector(32, {0}); // positional
        break;
    case TYPE_VisTextObject:
        packet->setString(43, "arial.ttf");
        packet->setString(39, "label");
        packet->setIntVector(41, {0});
        packet->setIntVector(38, {0});
        break;
    case TYPE_VisWeatherObject:
        packet->setIntVector(49, {2}); // fog
        packet->setFloatVector(50, {1.0f});
        packet->setFloatVector(51, {50.0f});
        packet->setIntVector(52, {1});
        packet->setIntVector(44, {128, 128, 128});
        break;
    case TYPE_VisFlexBodyObject:
        packet->setString(12, "beam.osgt");
        packet->setIntVector(74, {1});
        packet->setFloatVector(73, {0.0f, 0.0f, 0.0f});
        break;
    case TYPE_VisFlexSurfaceObject: // a 2 x 2 grid
        packet->setIntVector(78, {2});
        packet->setIntVector(79, {2});
        packet->setFloatVector(70, {0.0f, 1.0f, 0.0f, 1.0f});
        packet->setFloatVector(71, {0.0f, 0.0f, 1.0f, 1.0f});
        packet->setFloatVector(72, {0.0f, 0.0f, 0.0f, 0.0f});
        break;
    case TYPE_VisParticleEffectObject:
        packet->setIntVector(89, {1}); // fire
        break;
    case TYPE_VisFlowPipeObject: // a straight pipe, a chain of one
        packet->setIntVector(27, {1});
        packet->setFloatVector(16, {2.0f});
        packet->setFloatVector(17, {0.2f});
        packet->setFloatVector(18, {0.2f});
        packet->setIntVector(25, {200, 200, 255});
        packet->setIntVector(26, {1});
        packet->setFloatVector(14, {0.0f, 0.0f, 0.0f});
        packet->setFloatVector(3, {1.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f});
        packet->setIntVector(82, {-1});
        packet->setIntVector(83, {-1});
        break;
    case TYPE_VisHUDObject:
        packet->setIntVector(45, {8}); // a button
        packet->setFloatVector(1, {100.0f, 100.0f});
        packet->setFloatVector(2, {0.0f});
        packet->setFloatVector(46, {50.0f, 20.0f});
        packet->setFloatVector(47, {1.0f});
        break;
    case TYPE_VisLineObject:
        packet->setIntVector(44, {255, 255, 0});
        packet->setFloatVector(10, {1.0f});
        packet->setIntVector(88, {1}); // a polyline
        packet->setFloatVector(87, {2.0f});
        packet->setIntVector(86, {2});
        packet->setFloatVector(1, {0.0f, 0.0f, 0.0f, 1.0f, 1.0f, 1.0f});
        break;
    case TYPE_VisIntersectorObject:
        packet->setFloatVector(14, {0.0f, 0.0f, 0.0f}); // the segment's start and end
        packet->setFloatVector(15, {1.0f, 0.0f, 0.0f});
        packet->setFloatVector(17, {0.1f}); // marker size
        packet->setIntVector(45, {1});      // line and marker shown
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
            move.setFloatVector(kind.code == TYPE_VisFlowPipeObject ? 14 : 1, {1.0f, 2.0f, 3.0f});
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
