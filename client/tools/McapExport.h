#pragma once
// orvane-replay export-mcap: a replay file as an MCAP file that robotics
// viewers open (Foxglove, Lichtblick), JSON messages with JSON schemas:
//
//   /scene  foxglove.SceneUpdate: one entity per object, id "<connection>:<n>"
//           in frame "obj/<n>"; a new version of it whenever its shape,
//           colour, size or text changes; deletions when a new run (a new
//           connection) clears the scene
//   /tf     foxglove.FrameTransform: the pose of frame "obj/<n>" in "world"
//           whenever an object moves or turns
//   /hud    orvane.HudElement: the items of a head-up display element
//   /views  orvane.View: the items of a view (its camera and viewport)
//
// Time stamps are the replay's own times in nanoseconds; a time stamp that
// goes back is taken as the latest time before it, as the replay plays it.
// Help/help.html has the table of what each kind becomes.

#include <iosfwd>
#include <string>
#include <vector>

namespace orvane::replaytool {

// `args`: export-mcap FILE OUT [--from T0 --to T1] [--compression none|zstd|lz4].
// Returns the exit status: 0 written, 1 a damaged replay (what precedes the
// damage is written) or a file that cannot be read or written, 2 a wrong
// command line.
int exportMcap(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace orvane::replaytool
