// Views on other screens need a display with more than one screen. These
// tests start their own X server with two screens (800 x 600 and
// 640 x 480), so they do not depend on the display they are run under, and
// set the process up as the program does.

#include <QApplication>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "tests/support/PrivateXServer.h"
#include "view/ViewerManager.h"

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (::testing::GTEST_FLAG(list_tests))
        return RUN_ALL_TESTS();

    testsupport::PrivateXServer server(
        {"-screen", "0", "800x600x24", "-screen", "1", "640x480x24"});
    if (server.name().empty()) {
        std::fprintf(stderr, "test_view_screens: cannot start Xvfb with two screens: %s\n",
                     server.diagnosis().c_str());
        return 1;
    }
    setenv("DISPLAY", server.name().c_str(), 1);
    ViewerManager::prepareProcess(Embedding::NativeWindow);
    char folder[] = "/tmp/orvane-view-settings-XXXXXX";
    if (!mkdtemp(folder))
        return 2;
    setenv("XDG_CONFIG_HOME", folder, 1);

    int result = 0;
    {
        QApplication application(argc, argv);
        result = RUN_ALL_TESTS();
    }
    std::system(("rm -rf " + std::string(folder)).c_str());
    return result;
}
