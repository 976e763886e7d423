#pragma once
// What the two export commands (--export-video, --export-picture) share:
// reading their numbers, choosing the OpenGL context, the scene they draw,
// and writing their output so that a failed export leaves nothing under the
// output's name.
//
// Threading: the main thread, before and instead of the window.

#include <QApplication>
#include <QSettings>

#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <osg/ref_ptr>

#include "app/ProgramServices.h"
#include "scene/ObjectKinds.h"
#include "video/ExportCamera.h"
#include "view/ViewerManager.h"

namespace osgShadow {
class ShadowedScene;
}
namespace video {
class ReplayExportHost;
}
class ReplayManager;

namespace exportsupport {

// What both commands read from their command line besides their own
// options: the replay, the file to write and what the camera looks at.
struct CommonOptions
{
    std::string replay;
    std::string output;
    video::CameraChoice camera;
};

// A command's options, or why its command line cannot be used.
template <class Options> struct Parsed
{
    std::optional<Options> options;
    std::string error; // why the command line cannot be used
};

// The options `parse` reads from argv[1..argc); nothing when the command
// line cannot be used, with the reason and `usage` on standard error.
template <class Options>
std::optional<Options> readCommandLine(int argc, char** argv,
                                       Parsed<Options> (*parse)(const std::vector<std::string>&),
                                       std::string (*usage)())
{
    Parsed<Options> parsed = parse(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.options)
        std::cerr << "orvane: " << parsed.error << "\n" << usage();
    return std::move(parsed.options);
}

// Whether argv[1..argc) holds `argument`.
bool hasArgument(int argc, char** argv, const char* argument);

// A finite number, the whole text.
bool readNumber(const std::string& text, double& value);
// A whole number from 1 to 1000000, the whole text.
bool readInteger(const std::string& text, int& value);
// "WIDTHxHEIGHT", each from 10 to 5000.
bool readSize(const std::string& text, int& width, int& height);

// Reads the camera options both commands take into `camera`:
//   --view N                               the simulation's view object N
//   --follow OBJ                           keep the offset from object OBJ
//   --camera ex,ey,ez,cx,cy,cz[,ux,uy,uz]  a fixed eye, centre and up (z up
//                                          without it)
// Nothing when `name` is none of them; else empty, or why the value cannot
// be used.
std::optional<std::string> readCameraOption(const std::string& name, const std::string& value,
                                            video::CameraChoice& camera);
// The lines of the usage that describe them.
std::string cameraUsage();

// Walks an export's command line (the arguments after the program's name):
// the command's `option`, the replay and the output (words not starting
// with --) and the camera options into `common`, and every other option
// with its value to `take`, which returns why it cannot use them, or
// nothing. Returns why the command line cannot be used, or nothing; two
// files are required.
std::string readArguments(
    const std::vector<std::string>& arguments, const char* option, CommonOptions& common,
    const std::function<std::string(const std::string& name, const std::string& value)>& take);

// Chooses the OpenGL context for an export from ORVANE_GL and DISPLAY:
// `embedding` becomes Headless where EGL draws, and the command says so on
// standard output. False, with the reason on standard error, when the chosen
// kind cannot be had.
bool chooseContext(Embedding& embedding);

// Chooses the context, prepares the process for it and makes the
// application, with the program's data folders on the search path; null
// (the reason on standard error) when the chosen context cannot be had.
// `argc` must outlive the application.
std::unique_ptr<QApplication> startApplication(int& argc, char** argv, Embedding& embedding);

// The scene an export draws, set up as the main window sets up its own
// (shadows as the settings say), with the object kinds and the services of
// the program, and the replay it loads.
class ExportScene
{
public:
    // The QApplication must exist.
    ExportScene(Embedding embedding, const QSettings& store);
    ~ExportScene();
    ExportScene(const ExportScene&) = delete;
    ExportScene& operator=(const ExportScene&) = delete;

    // Empty on success, else why the file is no replay that can be played.
    std::string loadReplay(const std::string& path);
    video::ReplayExportHost& host() { return *_host; }

private:
    osg::ref_ptr<osgShadow::ShadowedScene> _root;
    ObjectFactory _factory;
    ProgramServices _program;
    std::unique_ptr<video::ReplayExportHost> _host;
};

// The output of an export, written under a name of its own in the output's
// folder (unique to the process, with the output's extension, so that the
// file type is still known by it) and renamed to the output's name once it
// is complete. Removed when the export does not get that far.
class StagedOutput
{
public:
    explicit StagedOutput(const std::string& output);
    ~StagedOutput();
    StagedOutput(const StagedOutput&) = delete;
    StagedOutput& operator=(const StagedOutput&) = delete;

    // Empty when the folder takes a file, else why not.
    std::string checkWritable() const;
    const std::string& path() const { return _staged; }
    // Renames the staged file to the output's name; empty on success.
    std::string commit();

private:
    std::string _output;
    std::string _staged;
    bool _committed = false;
};

// The steps both commands take once the application runs: the output staged
// in its folder, the scene made with the replay loaded into it, and the
// finished file renamed to the output's name. Failures are said on standard
// error.
class ExportJob
{
public:
    explicit ExportJob(const std::string& output) : _staged(output) {}

    // False when the output's folder takes no file or the replay cannot be
    // played.
    bool open(const std::string& replay, Embedding embedding, const QSettings& store);
    video::ReplayExportHost& host() { return _scene->host(); }
    const ReplayManager& replay();
    // Where the output is written until it is complete.
    const std::string& stagedPath() const { return _staged.path(); }
    // Renames the written file to the output's name; false when it cannot.
    bool commit();

private:
    StagedOutput _staged;
    std::unique_ptr<ExportScene> _scene;
};

} // namespace exportsupport
