#pragma once
// orvane --export-mcap <replay.dat> <out.mcap> [--from T0 --to T1]
//        [--compression none|zstd|lz4]
//
// The replay tool's MCAP export (client/tools/McapExport.h) with what only
// the program has: the scene library's geometry of the procedural shapes
// (springs, gears, tapered pipes, grids, beams), built by the viewer's own
// shape object, flexible bodies bent as the viewer bends them, and model
// files in formats the robotics viewers do not read, read by the scene
// library; all exported as triangles. Needs no display.
//
// Threading: the main thread, before and instead of the window.

#include <cstddef>
#include <cstdint>

namespace orvane::replaytool {
struct ObjectMesh;
}

namespace exportmcap {

inline constexpr const char* OPTION = "--export-mcap";

// Whether the command line asks for the export.
bool requested(int argc, char** argv);

// Runs it; the exit status of orvane-replay export-mcap.
int run(int argc, char** argv);

// The triangles the viewer draws for a shape object, a model file or a
// flexible body (bent as its state says) whose state packet is `frame`
// (length word first), in the object's frame (scaled, not turned or moved);
// false for other kinds or when there is nothing to draw.
bool objectMesh(std::uint32_t kind, const unsigned char* frame, std::size_t size,
                orvane::replaytool::ObjectMesh& mesh);

} // namespace exportmcap
