#include "GlTestMain.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>
#include <utility>
#include <vector>

#include "tests/support/GlHarness.h"
#include "view/ViewerManager.h"

namespace testsupport {

namespace {

struct Steps
{
    std::vector<std::function<bool()>> before;
    std::vector<std::function<bool()>> with;
};

// Filled by static GlMainStep objects, so before main runs: a function-local
// static is there whatever the order of their initialisation.
Steps& steps()
{
    static Steps all;
    return all;
}

bool run(const std::vector<std::function<bool()>>& stage)
{
    for (const std::function<bool()>& step : stage)
        if (!step())
            return false;
    return true;
}

} // namespace

GlMainStep::GlMainStep(Stage stage, std::function<bool()> step)
{
    (stage == BeforeApplication ? steps().before : steps().with).push_back(std::move(step));
}

} // namespace testsupport

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests))
        return RUN_ALL_TESTS();
    if (!testsupport::run(testsupport::steps().before))
        return 1;

    qputenv("OSG_GL_ERROR_CHECKING", "ON");
    ViewerManager::prepareProcess(Embedding::NativeWindow);
    ViewerManager::prepareProcess(Embedding::GLWidget);
    testsupport::glErrors(); // installs the collector before any context exists

    QTemporaryDir home;
    if (!home.isValid()) {
        std::fprintf(stderr, "%s: no temporary folder for the settings\n", argv[0]);
        return 1;
    }
    qputenv("XDG_CONFIG_HOME", home.filePath("config").toLocal8Bit());

    int result = 0;
    {
        QApplication application(argc, argv);
        QDir::setCurrent(home.path());
        if (!testsupport::run(testsupport::steps().with))
            return 1;
        result = RUN_ALL_TESTS();
    }
    return result;
}
