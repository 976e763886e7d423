// The GL tests set the process up as the program does (Xlib for threads,
// the xcb platform, a compatibility-profile default format), keep their
// settings in a private folder, and run inside one QApplication.

#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "view/ViewerManager.h"

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // Listing the tests (at build time) needs no display.
    if (::testing::GTEST_FLAG(list_tests))
        return RUN_ALL_TESTS();
    ViewerManager::prepareProcess(Embedding::NativeWindow);
    ViewerManager::prepareProcess(Embedding::GLWidget);

    char folder[] = "/tmp/orvane-view-settings-XXXXXX";
    if (!mkdtemp(folder))
        return 2;
    setenv("XDG_CONFIG_HOME", folder, 1);

    QApplication application(argc, argv);
    const int result = RUN_ALL_TESTS();
    std::system(("rm -rf " + std::string(folder)).c_str());
    return result;
}
