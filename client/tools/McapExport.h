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

#include <cstddef>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace orvane::replaytool {

// Triangles in an object's frame (its position and orientation, not its
// scale): x, y, z of each point, three point numbers for each triangle.
struct ObjectMesh
{
    std::vector<float> points;
    std::vector<std::uint32_t> triangles;
};

// What the viewer draws for an object whose geometry its scene library
// builds (the procedural shapes): given the object's kind and the frame of
// its state packet (length word first), fills the mesh; false when it has
// none. The program's own command passes one; the replay tool has none and
// exports such objects as metadata.
using MeshSource = std::function<bool(std::uint32_t kind, const unsigned char* frame,
                                      std::size_t size, ObjectMesh& mesh)>;

// `args`: export-mcap FILE OUT [--from T0 --to T1] [--compression none|zstd|lz4].
// Returns the exit status: 0 written, 1 a damaged replay (what precedes the
// damage is written) or a file that cannot be read or written, 2 a wrong
// command line.
int exportMcap(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
               const MeshSource& meshes = {});

} // namespace orvane::replaytool
