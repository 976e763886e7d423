// orvane and orvane-gl: the viewer for running simulations. Both programs are
// this file; they differ in how the 3D view sits in the window (a native
// child window that OSG draws into, or a Qt OpenGL widget).
//
//     orvane [-tcp <port>]
//     orvane --export-video <replay.dat> <out.mp4> [options]   (see ExportVideoCommand.h)
#include <QApplication>

#include "app/ExportVideoCommand.h"
#include "app/SceneLibraryNotices.h"
#include "app/Startup.h"
#include "app/VisMainWindow.h"
#include "files/ProgramPaths.h"

#ifdef ORVANE_GL_WIDGET
constexpr Embedding kEmbedding = Embedding::GLWidget;
#else
constexpr Embedding kEmbedding = Embedding::NativeWindow;
#endif

int main(int argc, char** argv)
{
    scenelibrary::installNoticeFilter();
    if (exportvideo::requested(argc, argv))
        return exportvideo::run(argc, argv, kEmbedding);
    ViewerManager::prepareProcess(kEmbedding);
    QApplication application(argc, argv);
    programpaths::addDataDirectoriesToSearchPath();
    const int port = startup::portFromSettingsAndArguments(argc, argv);
    {
        // Runs the event loop until the user quits.
        VisMainWindow window(port, kEmbedding);
    }
    return 0;
}
