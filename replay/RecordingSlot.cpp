#include "replay/RecordingSlot.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char* kKeptPrefix = "Orvane-run-";

std::string slotName(int number)
{
    return number == 1 ? RecordingSlot::FIRST_NAME : "Orvane-" + std::to_string(number) + ".dat";
}

} // namespace

RecordingSlot::~RecordingSlot()
{
    release();
}

std::string RecordingSlot::take(const std::string& directory)
{
    if (held())
        return {};
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    if (error)
        return "cannot create the directory " + directory + ": " + error.message();
    for (int number = 1; number <= MAX_SLOTS;) {
        const std::string path = directory + "/" + slotName(number);
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0)
            return "cannot open " + path + ": " + std::strerror(errno);
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd); // another viewer records there
            ++number;
            continue;
        }
        // Its holder may have deleted the file between our open and our lock:
        // the lock then guards a file nobody else can find. Try the name again.
        struct stat opened
        {
        };
        struct stat named
        {
        };
        if (::fstat(fd, &opened) != 0 || ::stat(path.c_str(), &named) != 0 ||
            opened.st_ino != named.st_ino || opened.st_dev != named.st_dev) {
            ::close(fd);
            continue;
        }
        _fd = fd;
        _path = path;
        return {};
    }
    return "every recording file in " + directory + " is held by another viewer";
}

void RecordingSlot::release()
{
    if (_fd >= 0)
        ::close(_fd);
    _fd = -1;
    _path.clear();
}

void RecordingSlot::remove()
{
    // Deleted while still locked, so that no other viewer takes it meanwhile.
    if (held())
        std::remove(_path.c_str());
    release();
}

std::string RecordingSlot::keep(std::time_t now)
{
    if (!held())
        return {};
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    const std::filesystem::path directory = std::filesystem::path(_path).parent_path();
    for (int number = 1; number < 1000; ++number) {
        const std::string name = kKeptPrefix + std::string(stamp) +
                                 (number > 1 ? "-" + std::to_string(number) : "") + ".dat";
        const std::string target = (directory / name).string();
        // link() fails on an existing name instead of replacing it.
        if (::link(_path.c_str(), target.c_str()) == 0) {
            remove();
            return target;
        }
        if (errno == EEXIST)
            continue;
        // A file system without hard links: a plain move, unless taken.
        std::error_code error;
        if (std::filesystem::exists(target, error) || ::rename(_path.c_str(), target.c_str()) != 0)
            return {};
        release();
        return target;
    }
    return {};
}

std::vector<std::string> RecordingSlot::keptRecordings(const std::string& directory)
{
    std::vector<std::string> kept;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(directory, error)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with(kKeptPrefix) && name.ends_with(".dat"))
            kept.push_back(entry.path().string());
    }
    std::sort(kept.begin(), kept.end());
    return kept;
}
