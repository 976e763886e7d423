#include "view/RawDeviceRegistration.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

#include "log/Log.h"

namespace rawinput {

namespace {

constexpr const char* NODE_PREFIX = "hidraw";

// The number of a node name "hidraw<N>", or -1.
long nodeNumber(const std::string& name)
{
    if (name.rfind(NODE_PREFIX, 0) != 0 || name.size() == std::strlen(NODE_PREFIX))
        return -1;
    const std::string digits = name.substr(std::strlen(NODE_PREFIX));
    if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return -1;
    return std::strtol(digits.c_str(), nullptr, 10);
}

std::string baseName(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool readFile(const std::string& path, std::string& contents)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    contents.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

std::uint32_t hexNumber(const std::string& text)
{
    return static_cast<std::uint32_t>(std::strtoul(text.c_str(), nullptr, 16));
}

// A file descriptor closed when it goes.
class Descriptor
{
public:
    explicit Descriptor(int fd) : _fd(fd) {}
    ~Descriptor()
    {
        if (_fd >= 0)
            ::close(_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return _fd; }

private:
    int _fd;
};

void logLine(int level, const std::string& text)
{
    console::writeLine(level, "[RawDevice] " + text);
}

} // namespace

Usage topLevelUsage(std::span<const std::uint8_t> descriptor)
{
    int page = 0;
    int usage = 0;
    int depth = 0;
    std::size_t at = 0;
    while (at < descriptor.size()) {
        const std::uint8_t prefix = descriptor[at];
        if (prefix == 0xFE) { // a long item: size, tag, data
            if (at + 1 >= descriptor.size())
                break;
            at += 3 + descriptor[at + 1];
            continue;
        }
        const std::size_t size = (prefix & 0x3) == 3 ? 4 : (prefix & 0x3);
        if (at + 1 + size > descriptor.size())
            break; // cut short: what was read so far stands
        std::uint32_t data = 0;
        for (std::size_t i = 0; i < size; ++i)
            data |= std::uint32_t(descriptor[at + 1 + i]) << (8 * i);
        const int type = (prefix >> 2) & 0x3;
        const int tag = prefix >> 4;
        if (type == 1 && tag == 0x0) { // global: usage page
            page = int(data);
        } else if (type == 2 && tag == 0x0) { // local: usage
            if (size == 4) {                  // an extended usage names its page too
                page = int(data >> 16);
                usage = int(data & 0xFFFF);
            } else {
                usage = int(data);
            }
        } else if (type == 0 && tag == 0xA) { // main: collection
            if (depth == 0)
                return {page, usage};
            ++depth;
        } else if (type == 0 && tag == 0xC) { // main: end collection
            depth = std::max(0, depth - 1);
        }
        at += 1 + size;
    }
    return {};
}

HidrawDirectory::HidrawDirectory(std::string deviceDirectory, std::string classDirectory)
    : _deviceDirectory(std::move(deviceDirectory)), _classDirectory(std::move(classDirectory))
{
}

bool HidrawDirectory::listDevices(std::vector<std::string>& nodes)
{
    DIR* directory = ::opendir(_deviceDirectory.c_str());
    if (!directory)
        return false;
    std::vector<std::pair<long, std::string>> found;
    while (const dirent* entry = ::readdir(directory)) {
        const long number = nodeNumber(entry->d_name);
        if (number >= 0)
            found.emplace_back(number, _deviceDirectory + "/" + entry->d_name);
    }
    ::closedir(directory);
    std::sort(found.begin(), found.end());
    nodes.clear();
    for (auto& [number, path] : found)
        nodes.push_back(std::move(path));
    return true;
}

bool HidrawDirectory::describe(const std::string& node, HidDeviceInfo& info)
{
    const bool fromDevice = describeFromDevice(node, info);
    // The device does not tell its version; the kernel's description does,
    // and it also serves for a node we may not open.
    HidDeviceInfo fromClass;
    const bool described = describeFromClass(node, fromClass);
    if (!fromDevice && described)
        info = fromClass;
    else if (fromDevice)
        info.version = fromClass.version;
    return fromDevice || described;
}

bool HidrawDirectory::describeFromDevice(const std::string& node, HidDeviceInfo& info)
{
    const Descriptor device(::open(node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (device.get() < 0)
        return false;
    char name[256] = {};
    hidraw_devinfo devinfo{};
    int descriptorSize = 0;
    if (::ioctl(device.get(), HIDIOCGRAWNAME(sizeof(name) - 1), name) < 0 ||
        ::ioctl(device.get(), HIDIOCGRAWINFO, &devinfo) < 0 ||
        ::ioctl(device.get(), HIDIOCGRDESCSIZE, &descriptorSize) < 0)
        return false;
    hidraw_report_descriptor descriptor{};
    descriptor.size = std::clamp(descriptorSize, 0, HID_MAX_DESCRIPTOR_SIZE);
    if (::ioctl(device.get(), HIDIOCGRDESC, &descriptor) < 0)
        return false;
    info.name = name;
    info.vendor = static_cast<std::uint16_t>(devinfo.vendor);
    info.product = static_cast<std::uint16_t>(devinfo.product);
    const Usage usage = topLevelUsage({descriptor.value, descriptor.size});
    info.usagePage = usage.page;
    info.usage = usage.usage;
    return true;
}

bool HidrawDirectory::describeFromClass(const std::string& node, HidDeviceInfo& info)
{
    const std::string device = _classDirectory + "/" + baseName(node) + "/device";
    std::string uevent;
    if (!readFile(device + "/uevent", uevent))
        return false;
    std::istringstream lines(uevent);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("HID_NAME=", 0) == 0) {
            info.name = line.substr(9);
        } else if (line.rfind("HID_ID=", 0) == 0) {
            // bus:vendor:product, in hexadecimal
            const std::string id = line.substr(7);
            const std::size_t first = id.find(':');
            const std::size_t second = id.find(':', first + 1);
            if (first != std::string::npos && second != std::string::npos) {
                info.vendor = hexNumber(id.substr(first + 1, second - first - 1));
                info.product = hexNumber(id.substr(second + 1));
            }
        }
    }
    std::string descriptor;
    if (readFile(device + "/report_descriptor", descriptor)) {
        const Usage usage = topLevelUsage(
            {reinterpret_cast<const std::uint8_t*>(descriptor.data()), descriptor.size()});
        info.usagePage = usage.page;
        info.usage = usage.usage;
    }
    // A USB device's release number sits two levels up (HID device,
    // interface, device).
    std::string version;
    if (readFile(device + "/../../bcdDevice", version))
        info.version = hexNumber(version);
    return true;
}

int HidrawDirectory::openForReading(const std::string& node)
{
    const int fd = ::open(node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    return fd >= 0 ? fd : -errno;
}

RawDeviceRegistry& RawDeviceRegistry::instance()
{
    static RawDeviceRegistry registry;
    return registry;
}

RawDeviceRegistry::~RawDeviceRegistry()
{
    clear();
}

void RawDeviceRegistry::clear()
{
    for (const RegisteredDevice& device : _devices)
        if (device.fd >= 0)
            ::close(device.fd);
    _devices.clear();
}

int registerRawInputDevices(HidDeviceSource& source, RawDeviceRegistry& registry)
{
    std::vector<std::string> nodes;
    if (!source.listDevices(nodes)) {
        logLine(console::LEVEL_8, "Error from GetRawInputDeviceList");
        console::show();
        return 0;
    }
    if (nodes.empty()) {
        logLine(console::LEVEL_2, "No RawInput devices attached");
        return 0;
    }

    int registered = 0;
    for (std::size_t index = 0; index < nodes.size(); ++index) {
        const std::string& node = nodes[index];
        HidDeviceInfo info;
        const bool described = source.describe(node, info);
        logLine(console::LEVEL_2, "Device detected: number: " + std::to_string(index) + " name: " +
                                      (info.name.empty() ? node : info.name + " (" + node + ")"));
        if (!described)
            continue;
        logLine(console::LEVEL_1, "Vendor ID: " + std::to_string(info.vendor));
        logLine(console::LEVEL_1, "Product ID: " + std::to_string(info.product));
        logLine(console::LEVEL_1, "Version: " + std::to_string(info.version));
        logLine(console::LEVEL_1, "usage page: " + std::to_string(info.usagePage));
        logLine(console::LEVEL_1, "usage: " + std::to_string(info.usage));
        logLine(console::LEVEL_1, "");
        if (info.usagePage != GENERIC_DESKTOP_PAGE || info.usage != MULTI_AXIS_CONTROLLER)
            continue;

        const int fd = source.openForReading(node);
        if (fd < 0) {
            logLine(console::LEVEL_8,
                    "Cannot open the 3D mouse " + node + ": " + std::strerror(-fd) +
                        ". Give your user read access to it with a udev rule (see \"The 3D "
                        "mouse\" in the help page); Orvane runs without it.");
            continue;
        }
        registry.add({node, info.name, fd});
        ++registered;
    }
    if (registered == 0) {
        logLine(console::LEVEL_2, "No raw input device attached");
        return 0;
    }
    return 1;
}

int registerRawInputDevices()
{
    HidrawDirectory machine;
    return registerRawInputDevices(machine, RawDeviceRegistry::instance());
}

} // namespace rawinput
