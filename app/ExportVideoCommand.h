#pragma once
// The export of a replay from the command line, for people who render many
// replays:
//
//   orvane --export-video <replay.dat> <out.mp4> [--preset NAME]
//          [--codec NAME] [--bitrate KBITS] [--fps N] [--size WxH]
//          [--speed S] [--from T0] [--to T1]
//          [--view N | --camera ex,ey,ez,cx,cy,cz[,ux,uy,uz]] [--follow OBJ]
//
// It renders the replay into the file with the same conversion as the
// export dialog, prints its progress and exits: 0 when the file is written,
// 1 when the export failed (the message on standard error), 2 for a command
// line it cannot use. A preset (as stored by the dialog, or one of its
// defaults) gives codec, bit rate, frame rate and size; options after it
// override them. Without a codec the file's extension chooses one. The
// camera options choose what the video looks at (video/ExportCamera.h); a
// view or object the replay lacks is a command line it cannot use. The file
// is written under a name of its own and renamed when complete: a failed
// export leaves nothing under the output's name.
// It draws on the X display while DISPLAY names one, and without a display
// through EGL (a GPU device, else Mesa's surfaceless platform); ORVANE_GL=x11
// or egl forces one (see view/GlChoice.h).
//
// Threading: the main thread, before and instead of the window.

#include <optional>
#include <string>
#include <vector>

#include "app/ExportSupport.h"
#include "view/ViewerManager.h"

namespace exportvideo {

inline constexpr const char* OPTION = "--export-video";

// Whether the command line asks for an export.
bool requested(int argc, char** argv);

struct Options : exportsupport::CommonOptions
{
    std::optional<std::string> preset;
    std::optional<std::string> codec; // a codec name (see codecNames) or a codec list text
    std::optional<int> bitrate;       // kBit/s as the dialog's field
    std::optional<int> frameRate;
    std::optional<int> width;
    std::optional<int> height;
    double speed = 1.0;
    std::optional<double> from;
    std::optional<double> to;
};
using Parsed = exportsupport::Parsed<Options>;

// Reads the arguments after the program name.
Parsed parse(const std::vector<std::string>& arguments);

// The codec's entry in the dialog's codec list for a --codec value (a
// short name such as "mpeg4", or the list's text), or for the output's
// extension when no codec is given; -1 when there is none.
int codecEntry(const std::optional<std::string>& codec, const std::string& output);
// The short codec names accepted by --codec, as the usage lists them.
std::string codecNames();

std::string usage();

// The times to export of a replay whose records run from `first` to `last`:
// --from and --to, or the replay's ends without them. A start before the
// first record starts at it and an end after the last record ends there
// (rounding in the printed times must not make an export fail); `notes`
// says what was moved, one line each.
struct Range
{
    double start = 0.0;
    double end = 0.0;
    std::vector<std::string> notes;
};
Range exportRange(const Options& options, double first, double last);

// Runs the whole command: makes the application, renders and encodes.
// Returns the process's exit status.
int run(int argc, char** argv, Embedding embedding);

} // namespace exportvideo
