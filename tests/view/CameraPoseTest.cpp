// The camera pose a view reports: its packet and the rule that an unchanged
// pose is not sent again.

#include <gtest/gtest.h>

#include <osg/Matrixd>

#include "gnp2/Packet.h"
#include "view/CameraPose.h"

using namespace view;

namespace {

osg::Matrixd somePose()
{
    return osg::Matrixd::rotate(0.3, osg::Vec3d(0.2, 0.5, 1.0)) *
           osg::Matrixd::translate(10.0, -20.0, 5.5);
}

std::vector<float> poseOf(const GNP2::Packet& packet)
{
    EXPECT_EQ(packet.item(item::reply::camera_pose::Pose).type, GNP2::TYPE_FLOAT);
    return packet.getFloatVector(item::reply::camera_pose::Pose);
}

TEST(CameraPoseTest, PoseIsSentAsSixteenFloatsInStorageOrder)
{
    CameraPoseReporter reporter;
    GNP2::Packet state;
    const osg::Matrixd pose = somePose();
    const auto packet = reporter.report(pose, state);
    ASSERT_TRUE(packet);
    const std::vector<float> elements = poseOf(*packet);
    ASSERT_EQ(elements.size(), 16u);
    for (int i = 0; i < 16; ++i)
        EXPECT_FLOAT_EQ(elements[i], float(pose(i / 4, i % 4))) << "element " << i;
    // Row by row: the translation is the fourth row.
    EXPECT_FLOAT_EQ(elements[12], 10.0f);
    EXPECT_FLOAT_EQ(elements[13], -20.0f);
    EXPECT_FLOAT_EQ(elements[14], 5.5f);
    EXPECT_FLOAT_EQ(elements[15], 1.0f);
    // Nothing else goes into the packet.
    int items = 0;
    packet->forEachItem([&](int, const GNP2::Item&) { ++items; });
    EXPECT_EQ(items, 1);
}

TEST(CameraPoseTest, TranslationIsRelativeToTheCentre)
{
    CameraPoseReporter reporter;
    GNP2::Packet state;
    state.setFloatVector(item::view::Centre, {1.0f, 2.0f, 3.0f});
    const osg::Matrixd pose = somePose();
    const auto packet = reporter.report(pose, state);
    ASSERT_TRUE(packet);
    const std::vector<float> elements = poseOf(*packet);
    EXPECT_FLOAT_EQ(elements[12], 9.0f);
    EXPECT_FLOAT_EQ(elements[13], -22.0f);
    EXPECT_FLOAT_EQ(elements[14], 2.5f);
    for (int i = 0; i < 12; ++i)
        EXPECT_FLOAT_EQ(elements[i], float(pose(i / 4, i % 4)));
}

TEST(CameraPoseTest, MalformedCentreIsIgnored)
{
    CameraPoseReporter reporter;
    GNP2::Packet state;
    state.setIntVector(item::view::Centre, {1, 2, 3});
    auto packet = reporter.report(somePose(), state);
    ASSERT_TRUE(packet);
    EXPECT_FLOAT_EQ(poseOf(*packet)[12], 10.0f);

    CameraPoseReporter shortCentre;
    state.setFloatVector(item::view::Centre, {1.0f, 2.0f});
    packet = shortCentre.report(somePose(), state);
    ASSERT_TRUE(packet);
    EXPECT_FLOAT_EQ(poseOf(*packet)[12], 10.0f);
}

TEST(CameraPoseTest, UnchangedPoseIsNotSentAgain)
{
    CameraPoseReporter reporter;
    GNP2::Packet state;
    const osg::Matrixd first = somePose();
    const osg::Matrixd second = first * osg::Matrixd::translate(0.0, 0.0, 1e-9);

    EXPECT_TRUE(reporter.report(first, state));
    EXPECT_FALSE(reporter.report(first, state));
    EXPECT_FALSE(reporter.report(first, state));
    // Any change, however small, is a new pose.
    EXPECT_TRUE(reporter.report(second, state));
    EXPECT_EQ(reporter.lastPose(), second);
    // Only the last pose counts: going back is a change.
    EXPECT_TRUE(reporter.report(first, state));
}

TEST(CameraPoseTest, FirstPoseIsAlwaysSent)
{
    // The stored pose starts as zeros, which no camera has.
    CameraPoseReporter reporter;
    GNP2::Packet state;
    EXPECT_TRUE(reporter.report(osg::Matrixd::identity(), state));

    CameraPoseReporter another;
    osg::Matrixd zeros;
    zeros.set(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(another.lastPose(), zeros);
}

} // namespace
