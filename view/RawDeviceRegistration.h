#pragma once
// Finding and opening the 3D mouse at start-up. The machine's HID devices
// are the hidraw nodes (/dev/hidraw0, ...). Each is announced on the console
// with its name, and at level 1 with its vendor, product, version and the
// usage page and usage of its top-level collection. A multi-axis controller
// (usage page 1, usage 8: a 3D mouse) is "registered": opened read-only and
// non-blocking, and kept in the process's RawDeviceRegistry, from which the
// viewer reads its reports. A controller that cannot be opened (the node
// belongs to root) is reported once with what to do; the program runs
// without it.
//
// The enumeration reads through HidDeviceSource, so tests give it a device
// directory of their own. The real source asks the device itself
// (HIDIOCGRAWNAME, HIDIOCGRAWINFO, HIDIOCGRDESC) and, where the node cannot
// be opened or asked, the kernel's description of it under /sys.
//
// Threading: registration runs on the main thread before the application
// object exists; the registry is then read on the GUI thread.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace rawinput {

constexpr int GENERIC_DESKTOP_PAGE = 1;
constexpr int MULTI_AXIS_CONTROLLER = 8;

struct HidDeviceInfo
{
    std::string name;
    std::uint32_t vendor = 0;
    std::uint32_t product = 0;
    std::uint32_t version = 0; // 0 when the system does not tell
    int usagePage = 0;
    int usage = 0;
};

// The usage page and usage of the first top-level collection of a HID
// report descriptor; {0, 0} when it has none.
struct Usage
{
    int page = 0;
    int usage = 0;
};
Usage topLevelUsage(std::span<const std::uint8_t> descriptor);

class HidDeviceSource
{
public:
    virtual ~HidDeviceSource() = default;
    // The device nodes in number order; false when they cannot be listed.
    virtual bool listDevices(std::vector<std::string>& nodes) = 0;
    // What the device is; false when nothing can be learnt about it.
    virtual bool describe(const std::string& node, HidDeviceInfo& info) = 0;
    // Opens the node read-only and non-blocking: a file descriptor, or
    // -errno.
    virtual int openForReading(const std::string& node) = 0;
};

// The hidraw nodes in `deviceDirectory` (normally /dev), described by the
// device or by `classDirectory` (normally /sys/class/hidraw).
class HidrawDirectory : public HidDeviceSource
{
public:
    explicit HidrawDirectory(std::string deviceDirectory = "/dev",
                             std::string classDirectory = "/sys/class/hidraw");
    bool listDevices(std::vector<std::string>& nodes) override;
    bool describe(const std::string& node, HidDeviceInfo& info) override;
    int openForReading(const std::string& node) override;

private:
    bool describeFromDevice(const std::string& node, HidDeviceInfo& info);
    bool describeFromClass(const std::string& node, HidDeviceInfo& info);

    std::string _deviceDirectory;
    std::string _classDirectory;
};

struct RegisteredDevice
{
    std::string node;
    std::string name;
    int fd = -1;
};

// The opened 3D mice of the process; it owns their file descriptors.
class RawDeviceRegistry
{
public:
    static RawDeviceRegistry& instance();
    RawDeviceRegistry() = default;
    ~RawDeviceRegistry();
    RawDeviceRegistry(const RawDeviceRegistry&) = delete;
    RawDeviceRegistry& operator=(const RawDeviceRegistry&) = delete;

    void add(RegisteredDevice device) { _devices.push_back(std::move(device)); }
    const std::vector<RegisteredDevice>& devices() const { return _devices; }
    // Closes every device.
    void clear();

private:
    std::vector<RegisteredDevice> _devices;
};

// Registers the multi-axis controllers of `source` in `registry`; returns 1
// when at least one was registered, else 0.
int registerRawInputDevices(HidDeviceSource& source, RawDeviceRegistry& registry);
// The same for the machine's own devices and the process's registry.
int registerRawInputDevices();

} // namespace rawinput
