#include "ExportFixture.h"

#include "tests/support/GlHarness.h"
#include "view/ViewObjects.h"

namespace videotest {

void ExportTest::SetUp()
{
    ASSERT_TRUE(_folder.isValid());
    _replay = path("colours.dat");
    ASSERT_EQ(testsupport::writeColourReplay(_replay), "");
    registerViewObjects(_factory);
    _host = std::make_unique<video::ReplayExportHost>(new osg::Group, _factory, embedding());
    testsupport::checkGlErrors(_host->viewer());
    ASSERT_EQ(_host->loadReplay(QString::fromStdString(_replay)), "");
}

void ExportTest::TearDown()
{
    _host.reset();
    testsupport::expectNoGlErrors();
}

} // namespace videotest
