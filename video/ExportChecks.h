#pragma once
// What the export checks before it starts: a file name is given, the file
// type suits the codec, and the time range lies within the replay. The
// extension tests look at the name's ending as typed, letter case included.
//
// Threading: pure functions.

#include <QString>

namespace video {

struct ExportRequest
{
    QString fileName;
    QString codecItem; // the codec list's text
    double start = 0;
    double end = 0;
    double firstTime = 0; // the replay's first and last time stamps
    double lastTime = 0;
};

// The warning for the first check that fails, or an empty text.
QString exportCheckFailure(const ExportRequest& request);

} // namespace video
