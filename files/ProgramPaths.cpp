#include "files/ProgramPaths.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include <osgDB/Registry>

// Set by the build: the install folders relative to the program folder, the
// build tree's data folder and module file, and the module's file name.
#ifndef ORVANE_INSTALLED_DATA_DIR
#define ORVANE_INSTALLED_DATA_DIR "../share/orvane"
#endif
#ifndef ORVANE_INSTALLED_MODULE_DIR
#define ORVANE_INSTALLED_MODULE_DIR "../lib/orvane"
#endif
#ifndef ORVANE_BUILD_DATA_DIR
#define ORVANE_BUILD_DATA_DIR ""
#endif
#ifndef ORVANE_BUILD_TERRAIN_MODULE
#define ORVANE_BUILD_TERRAIN_MODULE ""
#endif
#ifndef ORVANE_TERRAIN_MODULE_NAME
#define ORVANE_TERRAIN_MODULE_NAME "liborvane-terrain.so"
#endif

namespace programpaths {
namespace {

std::string joined(const std::string& directory, const std::string& relative)
{
    return (std::filesystem::path(directory) / relative).lexically_normal().string();
}

} // namespace

std::string executableDirectory()
{
    std::error_code error;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : exe.parent_path().string();
}

const std::vector<std::string>& dataDirectories()
{
    static const std::vector<std::string> directories = [] {
        std::vector<std::string> list;
        const std::string exeDir = executableDirectory();
        if (!exeDir.empty())
            list.push_back(joined(exeDir, ORVANE_INSTALLED_DATA_DIR));
        if (*ORVANE_BUILD_DATA_DIR)
            list.emplace_back(ORVANE_BUILD_DATA_DIR);
        return list;
    }();
    return directories;
}

void addDataDirectoriesToSearchPath()
{
    osgDB::FilePathList& path = osgDB::Registry::instance()->getDataFilePathList();
    for (const std::string& directory : dataDirectories())
        if (std::find(path.begin(), path.end(), directory) == path.end())
            path.push_back(directory);
}

const std::vector<std::string>& terrainModuleCandidates()
{
    static const std::vector<std::string> candidates = [] {
        std::vector<std::string> list;
        const std::string exeDir = executableDirectory();
        if (!exeDir.empty()) {
            list.push_back(joined(exeDir, ORVANE_TERRAIN_MODULE_NAME));
            list.push_back(joined(exeDir, std::string(ORVANE_INSTALLED_MODULE_DIR) + "/" +
                                              ORVANE_TERRAIN_MODULE_NAME));
        }
        if (*ORVANE_BUILD_TERRAIN_MODULE)
            list.emplace_back(ORVANE_BUILD_TERRAIN_MODULE);
        return list;
    }();
    return candidates;
}

} // namespace programpaths
