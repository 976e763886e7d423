// The filter in front of the scene library's notices: its weather traces are
// dropped, everything else still reaches the terminal.

#include <gtest/gtest.h>

#include <osg/Notify>

#include <string>

#include "app/SceneLibraryNotices.h"

namespace {

TEST(SceneLibraryNotices, DropsOnlyTheWeatherTraces)
{
    EXPECT_TRUE(scenelibrary::isDroppedNotice(
        "PrecipitationEffect::~PrecipitationDrawable() 0x7f0fa9aecee0\n"));
    EXPECT_FALSE(scenelibrary::isDroppedNotice("Warning: detected OpenGL error 'invalid value'\n"));
    EXPECT_FALSE(scenelibrary::isDroppedNotice(
        "Error: PrecipitationEffect::~PrecipitationDrawable() was not expected\n"));
    EXPECT_FALSE(scenelibrary::isDroppedNotice(""));
}

TEST(SceneLibraryNotices, InstalledFilterStillPrintsOtherNotices)
{
    const osg::NotifySeverity level = osg::getNotifyLevel();
    osg::setNotifyLevel(osg::NOTICE);
    scenelibrary::installNoticeFilter();
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    osg::notify(osg::NOTICE) << "PrecipitationEffect::~PrecipitationDrawable() 0x1" << std::endl;
    osg::notify(osg::NOTICE) << "a notice the user should see" << std::endl;
    osg::notify(osg::WARN) << "a warning the user should see" << std::endl;
    const std::string printed =
        testing::internal::GetCapturedStdout() + testing::internal::GetCapturedStderr();
    osg::setNotifyHandler(new osg::StandardNotifyHandler);
    osg::setNotifyLevel(level);

    EXPECT_EQ(printed.find("PrecipitationDrawable"), std::string::npos) << printed;
    EXPECT_NE(printed.find("a notice the user should see"), std::string::npos) << printed;
    EXPECT_NE(printed.find("a warning the user should see"), std::string::npos) << printed;
}

} // namespace
