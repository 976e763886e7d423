#pragma once
// findFile: turns a file name from a packet into a path that exists. Model,
// image and data files named by the simulation go through it.
//
//  1. The name itself, when it names a file (a relative name is taken from
//     the working directory).
//  2. A relative name under each of the program's data folders, so that the
//     models and terrains the program ships are found wherever it runs.
//  3. With the search directory (setting "FileObjects/AddSearchDir") set:
//     ever longer tails of the name under it - the last path component,
//     then the last two, and so on, "/" and "\" both separating. The walk
//     stops after the tail that begins just after a separator at character
//     position 3 or lower (so "C:/" or "/" never becomes part of a tail), or
//     after the whole name when no separator is left.
// A name that is not found is logged at level 8 ("File not found, no
// additional search path specified: " or "File not found: ") and gives an
// empty path.
//
// Threading: any thread; takes no lock of the file manager.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The inputs of one lookup, spelled out so that tests can give their own.
struct FileLookup
{
    std::string searchDirectory;
    std::vector<std::string> dataDirectories;
    // Whether a path names something that can be read as a file. Default:
    // it exists and is not a directory.
    std::function<bool(const std::string& path)> isFile;
};

// The program's lookup: the stored search directory (read afresh), the
// program's data folders and the file system.
std::string findFile(const std::string& name);
std::string findFile(const std::string& name, const FileLookup& lookup);

// The tails of a name in the order the search directory walk tries them.
std::vector<std::string> searchTails(std::string_view name);

// The candidate for one tail: the directory, a "/" unless the directory
// already ends in "/" or "\", and the tail with "\" turned into "/" (a name
// sent by a simulation on Windows still finds its file here).
std::string searchCandidate(const std::string& directory, std::string_view tail);

bool isExistingFile(const std::string& path);
