#pragma once
// Where the program finds what it ships besides its executable: the data
// folder (sample models and terrains) and the terrain module. An installed
// program looks relative to its own executable (bin/ -> share/orvane,
// lib/orvane); a program run from its build folder falls back to the paths
// of the build tree that it was built in.
//
// Threading: any thread; the answers never change during a run.

#include <string>
#include <vector>

namespace programpaths {

// The folder of the running executable, or empty when it cannot be found.
std::string executableDirectory();

// The folders a relative file name is looked up in after the working
// directory: the installed data folder, then the source tree's data/.
const std::vector<std::string>& dataDirectories();

// Appends the data folders to the scene graph's data file path, so that
// files it looks up by a relative name itself (the particle effects'
// "Images/smoke.rgb") are found among what the program ships. Folders
// already on the path are not added again. Call on the main thread before
// any scene is built or any other thread reads files.
void addDataDirectoriesToSearchPath();

// The terrain module's file: next to the executable, in the installed
// library folder, then in the build tree.
const std::vector<std::string>& terrainModuleCandidates();

} // namespace programpaths
