// orvane and orvane-gl: the viewer for running simulations. Both programs are
// this file; they differ in how the 3D view sits in the window (a native
// child window that OSG draws into, or a Qt OpenGL widget).
//
//     orvane [-tcp <port>] [--help] [--version]
//     orvane --export-video <replay.dat> <out.mp4> [options]   (see ExportVideoCommand.h)
//     orvane --export-mcap <replay.dat> <out.mcap> [options]   (see ExportMcapCommand.h)
//     orvane --export-picture <replay.dat> <out.png> --at T [options]   (ExportPictureCommand.h)
#include <QApplication>

#include <cstdio>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/ExportMcapCommand.h"
#include "app/ExportPictureCommand.h"
#include "app/ExportVideoCommand.h"
#include "app/SceneLibraryNotices.h"
#include "app/Startup.h"
#include "app/VisMainWindow.h"
#include "files/ProgramPaths.h"
#include "view/RawDeviceRegistration.h"

#ifdef ORVANE_GL_WIDGET
constexpr Embedding kEmbedding = Embedding::GLWidget;
#else
constexpr Embedding kEmbedding = Embedding::NativeWindow;
#endif

int main(int argc, char** argv)
{
    // The video export has options of its own.
    if (exportvideo::requested(argc, argv)) {
        scenelibrary::installNoticeFilter();
        return exportvideo::run(argc, argv, kEmbedding);
    }
    // The MCAP export builds shapes without drawing them: no display.
    if (exportmcap::requested(argc, argv))
        return exportmcap::run(argc, argv);
    if (exportpicture::requested(argc, argv)) {
        scenelibrary::installNoticeFilter();
        return exportpicture::run(argc, argv, kEmbedding);
    }
    // The command line is answered before anything needs a display.
    const commandline::CommandLine commandLine =
        commandline::parse(std::vector<std::string>(argv, argv + argc));
    if (commandLine.action != commandline::CommandLine::Action::Run)
        return commandline::answer(commandLine, argv[0]);

    scenelibrary::installNoticeFilter();
    // The 3D mouse is looked for before the window exists; the viewer reads it.
    rawinput::registerRawInputDevices();
    ViewerManager::prepareProcess(kEmbedding);
    QApplication application(argc, argv);
    // Qt has taken its own arguments out of argv: what is left and unknown
    // is ignored, and said so once.
    std::fputs(commandline::ignoredWarning(
                   commandline::parse(std::vector<std::string>(argv, argv + argc)), argv[0])
                   .c_str(),
               stderr);
    programpaths::addDataDirectoriesToSearchPath();
    const int port = startup::listeningPort(commandLine);
    {
        // Runs the event loop until the user quits.
        VisMainWindow window(port, kEmbedding);
    }
    return 0;
}
