#pragma once
// Font names as packets and the program give them are Windows font files
// ("TIMES.TTF", "arial.ttf", "fonts/lucon.ttf"). This maps them to the
// metric-compatible Liberation fonts installed here and finds the file, so
// that a caller can tell whether a font really exists (the font loader
// behind osgText answers any unknown name with some other font).
//
// Pure functions over strings and the file system; any thread.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace fonts {

// The Liberation file name for a Windows font name, matched on the
// lower-cased file name without folder and extension ("fonts/lucon.ttf" ->
// "LiberationMono-Regular.ttf"); empty when there is no counterpart.
std::string liberationFontFor(std::string_view windowsName);

// The folders searched for installed fonts.
const std::vector<std::filesystem::path>& fontFolders();

// The path of an existing font file for the name: the name itself when it
// names an existing file, else its Liberation counterpart, else its bare
// file name, looked up in the folders. Empty when none exists.
std::string resolveFontFile(std::string_view name,
                            const std::vector<std::filesystem::path>& folders = fontFolders());

} // namespace fonts
