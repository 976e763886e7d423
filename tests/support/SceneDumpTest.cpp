// The scene dump that replay tests compare: what it says of each object, that
// it finds every object the update callback holds, and that every difference
// a replay could get wrong shows in it.

#include <gtest/gtest.h>

#include <osg/Geode>
#include <osg/Geometry>
#include <osg/Material>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "net/PacketRing.h"
#include "scene/RootnodeUpdateCallback.h"
#include "tests/support/BareObject.h"
#include "tests/support/Packets.h"
#include "tests/support/SceneDump.h"

using namespace testsupport;

namespace {

// A scene of bare objects made by the update callback from packets.
class Scene
{
public:
    Scene()
    {
        _factory.add(TYPE_VisBaseObject, [](const ObjectContext&) { return new BareObject; });
        _callback = new rootnodeUpdateCallback(_receive, _send, _factory, _root.get(), nullptr);
        _callback->setClock([] { return 0.0; }); // no budget: every packet in one pass
    }

    void apply(const Items& items, const Address& to = {})
    {
        _receive.push(makePacket(items, to).release());
        _callback->runOnce();
    }

    // Hangs a drawable with a material of the given diffuse colour below the
    // object.
    void paint(const Address& object, const osg::Vec4& diffuse)
    {
        auto* placed = dynamic_cast<BareObject*>(
            _callback->findObject(object.connection, object.objectNumber));
        ASSERT_NE(placed, nullptr);
        osg::ref_ptr<osg::Geometry> drawable = new osg::Geometry;
        osg::ref_ptr<osg::Material> material = new osg::Material;
        material->setDiffuse(osg::Material::FRONT_AND_BACK, diffuse);
        drawable->getOrCreateStateSet()->setAttribute(material.get());
        osg::ref_ptr<osg::Geode> geode = new osg::Geode;
        geode->addDrawable(drawable.get());
        placed->getTransform()->addChild(geode.get());
    }

    std::string dump() const { return dumpScene(*_callback); }

private:
    PacketRing _receive, _send;
    ObjectFactory _factory;
    osg::ref_ptr<osg::Group> _root = new osg::Group;
    osg::ref_ptr<rootnodeUpdateCallback> _callback;
};

std::vector<std::string> objectLines(const std::string& dump)
{
    std::vector<std::string> lines;
    std::istringstream in(dump);
    for (std::string line; std::getline(in, line);)
        if (line.rfind("object ", 0) == 0)
            lines.push_back(line);
    return lines;
}

TEST(SceneDump, ListsEveryObjectByConnectionThenNumber)
{
    Scene scene;
    // Connection 1 holds nothing; 4095 is the highest object number.
    scene.apply({}, {4095, TYPE_VisBaseObject, 2});
    scene.apply({}, {5, TYPE_VisBaseObject, 0});
    scene.apply({}, {0, TYPE_VisBaseObject, 2});
    scene.apply({}, {1, TYPE_VisBaseObject, 0});
    EXPECT_EQ(objectLines(scene.dump()),
              (std::vector<std::string>{"object 0/1 BareObject", "object 0/5 BareObject",
                                        "object 2/0 BareObject", "object 2/4095 BareObject"}));
}

TEST(SceneDump, EmptySceneIsEmptyText)
{
    EXPECT_EQ(Scene().dump(), "");
}

TEST(SceneDump, ShowsTheMatrixTheColoursAndTheState)
{
    Scene scene;
    scene.apply(
        {{{item::placement::Position, {1.f, 2.f, 3.f}}, {item::placement::Scale, {2.f, 2.f, 2.f}}},
         {{item::appearance::Colour, {255, 0, 0}}},
         {{12, "arm.obj"}}},
        {4, TYPE_VisBaseObject, 0});
    scene.paint({4, TYPE_VisBaseObject, 0}, {1.f, 0.5f, 0.25f, 1.f});
    EXPECT_EQ(scene.dump(),
              "object 0/4 BareObject\n"
              "  matrix 2 0 0 0 0 2 0 0 0 0 2 0 1 2 3 1\n"
              "  colours 1 0.5 0.25 1\n"
              "  state 0=f[0] 1=f[1 2 3] 4=f[2 2 2] 12=s[arm.obj] 13=i[0] 44=i[255 0 0]\n");
}

// Two scenes built alike, the second changed after the packet every row
// shares: the dumps differ exactly when the scenes do.
struct DifferenceCase
{
    const char* name;
    void (*change)(Scene&);
    bool differs;
};

class Difference : public testing::TestWithParam<DifferenceCase>
{
};

TEST_P(Difference, ShowsInTheDump)
{
    const Items shared{{{item::placement::Position, {0.25f, 0.f, 0.f}}},
                       {{item::appearance::Colour, {10, 20, 30}}}};
    Scene first, second;
    for (Scene* scene : {&first, &second}) {
        scene->apply(shared);
        scene->paint({}, {0.1f, 0.2f, 0.3f, 1.f});
    }
    GetParam().change(second);
    EXPECT_EQ(first.dump() != second.dump(), GetParam().differs) << first.dump() << "against\n"
                                                                 << second.dump();
}

INSTANTIATE_TEST_SUITE_P(
    Changes, Difference,
    testing::Values(
        DifferenceCase{"Nothing", [](Scene&) {}, false},
        DifferenceCase{"SamePacketAgain",
                       [](Scene& s) {
                           s.apply({{{item::placement::Position, {0.25f, 0.f, 0.f}}},
                                    {{item::appearance::Colour, {10, 20, 30}}}});
                       },
                       false},
        DifferenceCase{
            "MovedByTheSmallestFloatStep",
            [](Scene& s) {
                s.apply({{{item::placement::Position, {std::nextafter(0.25f, 1.f), 0.f, 0.f}}}});
            },
            true},
        DifferenceCase{
            "Turned",
            [](Scene& s) {
                s.apply({{{item::placement::Orientation, {0.f, 1.f, 0.f, -1.f, 0.f, 0.f}}}});
            },
            true},
        DifferenceCase{"OtherColour",
                       [](Scene& s) {
                           s.paint({}, {0.1f, 0.2f, 0.31f, 1.f});
                       },
                       true},
        DifferenceCase{"AnItemMore",
                       [](Scene& s) {
                           s.apply({{}, {{50, {1}}}});
                       },
                       true},
        DifferenceCase{"OneObjectMore",
                       [](Scene& s) {
                           s.apply({}, {8, TYPE_VisBaseObject, 4});
                       },
                       true}),
    [](const auto& row) { return std::string(row.param.name); });

} // namespace
