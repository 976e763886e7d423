// The main of the tests on the X display: both embeddings live in one
// process, so Xlib is made thread-safe and Qt asked for compatibility
// profiles before the application exists; OSG checks for OpenGL errors after
// every attribute and reports them to the catcher; the data folders are on
// the scene graph's search path; the settings and the working directory are
// private to the run.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QSettings>
#include <QTemporaryDir>

#include "MainWindowHarness.h"
#include "files/ProgramPaths.h"
#include "view/ViewerManager.h"

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    // Listing the tests (the build does it) needs no display.
    if (GTEST_FLAG_GET(list_tests))
        return RUN_ALL_TESTS();
    qputenv("OSG_GL_ERROR_CHECKING", "ON");
    ViewerManager::prepareProcess(Embedding::NativeWindow);
    ViewerManager::prepareProcess(Embedding::GLWidget);
    apptest::glErrors(); // installs the catcher

    QApplication application(argc, argv);
    programpaths::addDataDirectoriesToSearchPath(); // as the programs do: textures of the effects
    QTemporaryDir home;
    if (!home.isValid())
        return 1;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, home.filePath("config"));
    QDir::setCurrent(home.path());
    return RUN_ALL_TESTS();
}
