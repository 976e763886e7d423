#pragma once
// The terrain description: a small text file, "<base>.wb" (or "<base>.bb"),
// that says where a terrain's height image is and how large the terrain is.
// One setting per line, a key and its values separated by blanks; "#" starts
// a comment. Example:
//
//   # Rolling hills behind the demo scene
//   heightmap  hills.png      # grey image; relative to this file
//   size       40 24          # extent in x and y (world units)
//   height     0 3.5          # z of black and of white
//   origin     -20 -12        # x, y of the image's lower left corner
//   lowcolour  70 110 50      # colour at the lowest point (0-255)
//   highcolour 170 160 140    # colour at the highest point
//
// "heightmap", "size" and "height" are required; "origin" defaults to the
// terrain centred on (0, 0), the colours to a green-to-stone ramp. Unknown
// keys, missing or extra values, and sizes that are not positive are errors,
// each reported with its line number.
//
// Threading: plain values, no shared state.

#include <array>
#include <istream>
#include <optional>
#include <string>
#include <vector>

namespace terrain {

struct TerrainDescription
{
    std::string heightmap; // as written in the file
    std::array<float, 2> size{};
    std::array<float, 2> origin{}; // lower left corner
    float lowHeight = 0.0f;        // z of the darkest sample
    float highHeight = 0.0f;       // z of the brightest sample
    std::array<float, 3> lowColour{90.0f / 255.0f, 130.0f / 255.0f, 60.0f / 255.0f};
    std::array<float, 3> highColour{170.0f / 255.0f, 160.0f / 255.0f, 140.0f / 255.0f};
};

// The description, or nothing with the reasons in `errors` (one line each,
// "line N: ...").
std::optional<TerrainDescription> parseDescription(std::istream& in,
                                                   std::vector<std::string>& errors);

} // namespace terrain
