// The shared OpenGL error collector, fed through the scene graph's notify
// stream as the states report errors.

#include "tests/support/GlErrorCollector.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using testsupport::glErrorCollector;

class GlErrorCollectorTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        osg::setNotifyLevel(osg::NOTICE);
        glErrorCollector().clear();
    }
    void TearDown() override { glErrorCollector().clear(); }
};

TEST_F(GlErrorCollectorTest, KeepsOnlyMessagesNamingGlErrors)
{
    osg::notify(osg::WARN)
        << "Warning: detected OpenGL error 'invalid enum' at after RenderBin::draw(..)"
        << std::endl;
    osg::notify(osg::NOTICE) << "Viewer::realize() - No valid contexts found" << std::endl;
    osg::notify(osg::WARN) << "GL error 0x502 reading the frame back" << std::endl;

    const std::vector<std::string> errors = glErrorCollector().errors();
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_NE(errors[0].find("'invalid enum'"), std::string::npos) << errors[0];
    EXPECT_NE(errors[1].find("0x502"), std::string::npos) << errors[1];
}

TEST_F(GlErrorCollectorTest, InstallsOnceAndAddsAndClears)
{
    testsupport::GlErrorCollector& first = glErrorCollector();
    EXPECT_EQ(&first, &glErrorCollector());
    EXPECT_EQ(osg::getNotifyHandler(), &first);

    first.add("OpenGL error found by the test");
    EXPECT_EQ(first.errors(), std::vector<std::string>{"OpenGL error found by the test"});
    first.clear();
    EXPECT_TRUE(first.errors().empty());
}

} // namespace
