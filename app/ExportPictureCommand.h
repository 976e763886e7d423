#pragma once
// A picture of a replay at one time, from the command line, for reports and
// test dashboards:
//
//   orvane --export-picture <replay.dat> <out.png|out.jpg> --at T
//          [--size WxH] [--view N | --camera ex,ey,ez,cx,cy,cz[,ux,uy,uz]]
//          [--follow OBJ]
//
// The scene is drawn as the video export draws a frame of that size (at
// twice the size each way, then scaled down) and written as PNG or JPEG, as
// the output's extension says, with the camera options of the video export.
// Exit status 0 when the file is written, 1 when it could not be (the
// message on standard error; nothing is left under the output's name), 2
// for a command line it cannot use, a time outside the replay included.
// Like the video export it draws with or without a display (see
// ExportVideoCommand.h).
//
// Threading: the main thread, before and instead of the window.

#include <optional>
#include <string>
#include <vector>

#include "app/ExportSupport.h"
#include "view/ViewerManager.h"

namespace exportpicture {

inline constexpr const char* OPTION = "--export-picture";

// Whether the command line asks for a picture.
bool requested(int argc, char** argv);

struct Options : exportsupport::CommonOptions
{
    double at = 0.0;
    int width = 800;
    int height = 600;
};
using Parsed = exportsupport::Parsed<Options>;

// Reads the arguments after the program name.
Parsed parse(const std::vector<std::string>& arguments);

std::string usage();

// Runs the whole command; returns the process's exit status.
int run(int argc, char** argv, Embedding embedding);

} // namespace exportpicture
