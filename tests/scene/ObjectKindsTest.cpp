#include <gtest/gtest.h>

#include <set>

#include "TestObjects.h"
#include "net/PacketRing.h"

TEST(ObjectKinds, TableCoversCodesFromOneUpInOrder)
{
    std::set<std::string_view> names;
    for (std::size_t i = 0; i < OBJECT_KINDS.size(); ++i) {
        EXPECT_EQ(OBJECT_KINDS[i].code, int(i) + 1);
        EXPECT_EQ(findObjectKind(int(i) + 1), &OBJECT_KINDS[i]);
        names.insert(OBJECT_KINDS[i].className);
    }
    EXPECT_EQ(names.size(), OBJECT_KINDS.size()) << "class names are unique";
    EXPECT_EQ(findObjectKind(0), nullptr);
    EXPECT_EQ(findObjectKind(MAX_TYPE_CODE + 1), nullptr);
    EXPECT_EQ(findObjectKind(255), nullptr);
    EXPECT_EQ(findObjectKind(TYPE_VisHUDObject)->parent, ObjectParent::HudRoot);
    EXPECT_EQ(findObjectKind(TYPE_VisViewObject)->parent, ObjectParent::None);
}

TEST(ObjectKinds, FactoryRefusesTheTimePacketAndUnknownCodes)
{
    ObjectFactory factory = probeFactory();
    EXPECT_FALSE(factory.has(TYPE_TimePacket));
    EXPECT_FALSE(factory.has(0));
    EXPECT_FALSE(factory.has(MAX_TYPE_CODE + 1));
    EXPECT_EQ(factory.create(MAX_TYPE_CODE + 1, {}), nullptr);
    ObjectFactory empty;
    EXPECT_FALSE(empty.has(TYPE_VisBaseObject));
    EXPECT_EQ(empty.create(TYPE_VisBaseObject, {}), nullptr);
}

// Every kind of the table, created through the callback, lands in the group
// the table names.
class EveryKind : public ::testing::TestWithParam<ObjectKind>
{
};

TEST_P(EveryKind, IsCreatedUnderItsParentGroup)
{
    const ObjectKind kind = GetParam();
    PacketRing receive, send;
    ObjectFactory factory = probeFactory();
    osg::ref_ptr<osg::Group> scene = new osg::Group, hud = new osg::Group;
    osg::ref_ptr<rootnodeUpdateCallback> callback =
        new rootnodeUpdateCallback(receive, send, factory, scene.get(), hud.get());

    receive.push(linkPacket(7, kind.code));
    callback->runOnce();

    VisObject* object = callback->findObject(0, 7);
    if (kind.code == TYPE_TimePacket) {
        EXPECT_EQ(object, nullptr);
        EXPECT_EQ(scene->getNumChildren() + hud->getNumChildren(), 0u);
        return;
    }
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(std::string_view(object->className()), kind.className);
    EXPECT_EQ(scene->getNumChildren(), kind.parent == ObjectParent::SceneRoot ? 1u : 0u);
    EXPECT_EQ(hud->getNumChildren(), kind.parent == ObjectParent::HudRoot ? 1u : 0u);
    EXPECT_TRUE(object->isInitialized());
}

INSTANTIATE_TEST_SUITE_P(Table, EveryKind, ::testing::ValuesIn(OBJECT_KINDS),
                         [](const auto& row) { return std::string(row.param.className); });
