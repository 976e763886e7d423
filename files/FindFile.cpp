#include "files/FindFile.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "log/Log.h"
#include "files/FileSettings.h"
#include "files/ProgramPaths.h"

namespace {

// The walk ends after a tail whose separator sits at or before this
// position: it is the drive or root part of the name.
constexpr std::size_t LAST_SEPARATOR_POSITION = 3;

bool isSeparator(char c)
{
    return c == '/' || c == '\\';
}

bool isRelative(const std::string& name)
{
    return !name.empty() && !isSeparator(name.front()) &&
           !(name.size() >= 2 && name[1] == ':'); // "C:..." is a Windows absolute name
}

void reportNotFound(std::string_view message, const std::string& name)
{
    console::writeLine(console::LEVEL_8, std::string(message) + name);
    console::show();
}

} // namespace

bool isExistingFile(const std::string& path)
{
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    return !error && std::filesystem::exists(status) && !std::filesystem::is_directory(status);
}

std::vector<std::string> searchTails(std::string_view name)
{
    std::vector<std::string> tails;
    std::size_t end = name.size(); // the tails start before this position
    for (;;) {
        std::size_t separator = std::string_view::npos;
        for (std::size_t i = end; i > 0; --i) {
            if (isSeparator(name[i - 1])) {
                separator = i - 1;
                break;
            }
        }
        if (separator == std::string_view::npos) {
            tails.emplace_back(name);
            return tails;
        }
        tails.emplace_back(name.substr(separator + 1));
        if (separator <= LAST_SEPARATOR_POSITION)
            return tails;
        end = separator;
    }
}

std::string searchCandidate(const std::string& directory, std::string_view tail)
{
    std::string candidate = directory;
    if (candidate.empty() || !isSeparator(candidate.back()))
        candidate += '/';
    std::string path(tail);
    std::replace(path.begin(), path.end(), '\\', '/');
    return candidate + path;
}

std::string findFile(const std::string& name, const FileLookup& lookup)
{
    const auto isFile = lookup.isFile ? lookup.isFile : isExistingFile;
    if (isFile(name))
        return name;
    if (isRelative(name)) {
        for (const std::string& directory : lookup.dataDirectories) {
            const std::string candidate = searchCandidate(directory, name);
            if (isFile(candidate))
                return candidate;
        }
    }
    if (lookup.searchDirectory.empty()) {
        reportNotFound("File not found, no additional search path specified: ", name);
        return {};
    }
    for (const std::string& tail : searchTails(name)) {
        const std::string candidate = searchCandidate(lookup.searchDirectory, tail);
        if (isFile(candidate))
            return candidate;
    }
    reportNotFound("File not found: ", name);
    return {};
}

std::string findFile(const std::string& name)
{
    FileLookup lookup;
    lookup.searchDirectory = filesettings::searchDirectory();
    lookup.dataDirectories = programpaths::dataDirectories();
    return findFile(name, lookup);
}
