// Finding the 3D mouse at start-up: the usage of a device from its report
// descriptor, what the console is told about every device, which devices
// are opened, and the real enumeration over a device directory made by the
// test (regular files standing in for the nodes, a class directory with the
// kernel's description of each).

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QTemporaryDir>

#include <cstdint>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/LogFixture.h"
#include "view/RawDeviceRegistration.h"

using namespace rawinput;

namespace {

// The start of a 3D mouse's descriptor: generic desktop, multi-axis
// controller, application collection, then a physical collection inside.
const std::vector<std::uint8_t> SPACE_MOUSE_DESCRIPTOR = {
    0x05, 0x01,       // usage page: generic desktop
    0x09, 0x08,       // usage: multi-axis controller
    0xA1, 0x01,       // collection: application
    0xA1, 0x00,       //   collection: physical
    0x85, 0x01,       //   report id 1
    0x16, 0x0C, 0xFE, //   logical minimum -500
    0x09, 0x30,       //   usage X
    0xC0,             //   end collection
    0xC0,             // end collection
};
// A keyboard, with a long item before its collection.
const std::vector<std::uint8_t> KEYBOARD_DESCRIPTOR = {
    0xFE, 0x02, 0x10, 0xAA, 0xBB, // long item, skipped whole
    0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0xC0,
};

struct UsageCase
{
    const char* name;
    std::vector<std::uint8_t> descriptor;
    int page;
    int usage;
};

class UsageTest : public ::testing::TestWithParam<UsageCase>
{
};

TEST_P(UsageTest, OfTheFirstTopLevelCollection)
{
    const Usage usage = topLevelUsage(GetParam().descriptor);
    EXPECT_EQ(usage.page, GetParam().page);
    EXPECT_EQ(usage.usage, GetParam().usage);
}

INSTANTIATE_TEST_SUITE_P(
    Descriptors, UsageTest,
    ::testing::Values(UsageCase{"SpaceMouse", SPACE_MOUSE_DESCRIPTOR, 1, 8},
                      UsageCase{"KeyboardAfterALongItem", KEYBOARD_DESCRIPTOR, 1, 6},
                      // A four-byte usage names its own page.
                      UsageCase{"ExtendedUsage", {0x0B, 0x08, 0x00, 0x01, 0x00, 0xA1, 0x01}, 1, 8},
                      UsageCase{"CutShort", {0x05, 0x01, 0x09, 0x08, 0x16, 0x0C}, 0, 0}),
    [](const auto& row) { return std::string(row.param.name); });

// Devices described by the test; an open of a node in `denied` fails with
// EACCES.
class FakeSource : public HidDeviceSource
{
public:
    bool listDevices(std::vector<std::string>& nodes) override
    {
        nodes.clear();
        for (const auto& [node, info] : devices)
            nodes.push_back(node);
        return listable;
    }
    bool describe(const std::string& node, HidDeviceInfo& info) override
    {
        const auto found = devices.find(node);
        if (found == devices.end() || !found->second)
            return false;
        info = *found->second;
        return true;
    }
    int openForReading(const std::string& node) override
    {
        opened.push_back(node);
        if (denied.count(node))
            return -EACCES;
        return ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    }

    std::map<std::string, std::optional<HidDeviceInfo>> devices;
    std::map<std::string, bool> denied;
    std::vector<std::string> opened;
    bool listable = true;
};

HidDeviceInfo spaceMouse()
{
    return {"3D Mouse Pro", 0x256F, 0xC62E, 0x0105, GENERIC_DESKTOP_PAGE, MULTI_AXIS_CONTROLLER};
}

class Registration : public console_test::LogFixture
{
protected:
    // The finished lines with their levels, as "level text".
    static std::vector<std::string> leveledLines()
    {
        const std::vector<std::string> texts = finishedTexts();
        const auto lines = log().snapshot();
        std::vector<std::string> leveled;
        for (std::size_t i = 0; i < texts.size(); ++i)
            leveled.push_back(std::to_string(lines[i].level) + " " + texts[i]);
        return leveled;
    }

    FakeSource _source;
    RawDeviceRegistry _registry;
};

TEST_F(Registration, AnnouncesEveryDeviceAndOpensTheMultiAxisControllers)
{
    _source.devices["/dev/hidraw0"] = HidDeviceInfo{"Keyboard", 1, 2, 3, 1, 6};
    _source.devices["/dev/hidraw1"] = spaceMouse();
    _source.devices["/dev/hidraw2"] = std::nullopt; // cannot be described

    EXPECT_EQ(registerRawInputDevices(_source, _registry), 1);
    EXPECT_EQ(_source.opened, std::vector<std::string>{"/dev/hidraw1"});
    ASSERT_EQ(_registry.devices().size(), 1u);
    EXPECT_EQ(_registry.devices()[0].node, "/dev/hidraw1");
    EXPECT_GE(_registry.devices()[0].fd, 0);

    const std::vector<std::string> expected = {
        "2 [RawDevice] Device detected: number: 0 name: Keyboard (/dev/hidraw0)",
        "1 [RawDevice] Vendor ID: 1",
        "1 [RawDevice] Product ID: 2",
        "1 [RawDevice] Version: 3",
        "1 [RawDevice] usage page: 1",
        "1 [RawDevice] usage: 6",
        "1 [RawDevice] ",
        "2 [RawDevice] Device detected: number: 1 name: 3D Mouse Pro (/dev/hidraw1)",
        "1 [RawDevice] Vendor ID: 9583",
        "1 [RawDevice] Product ID: 50734",
        "1 [RawDevice] Version: 261",
        "1 [RawDevice] usage page: 1",
        "1 [RawDevice] usage: 8",
        "1 [RawDevice] ",
        "2 [RawDevice] Device detected: number: 2 name: /dev/hidraw2",
    };
    EXPECT_EQ(leveledLines(), expected);
    EXPECT_EQ(shows(), 0);
}

TEST_F(Registration, AControllerThatCannotBeOpenedIsReportedWithTheRemedy)
{
    _source.devices["/dev/hidraw0"] = spaceMouse();
    _source.devices["/dev/hidraw1"] = spaceMouse();
    _source.denied["/dev/hidraw0"] = true;

    EXPECT_EQ(registerRawInputDevices(_source, _registry), 1) << "the other one is registered";
    ASSERT_EQ(_registry.devices().size(), 1u);
    EXPECT_EQ(_registry.devices()[0].node, "/dev/hidraw1");
    int complaints = 0;
    for (const std::string& line : leveledLines())
        if (line.find("Cannot open the 3D mouse /dev/hidraw0") != std::string::npos) {
            ++complaints;
            EXPECT_EQ(line.substr(0, 2), "8 ");
            EXPECT_NE(line.find("Permission denied"), std::string::npos) << line;
            EXPECT_NE(line.find("udev rule"), std::string::npos) << line;
        }
    EXPECT_EQ(complaints, 1);

    // With every controller refused nothing is registered.
    log().clear();
    RawDeviceRegistry none;
    _source.denied["/dev/hidraw1"] = true;
    EXPECT_EQ(registerRawInputDevices(_source, none), 0);
    EXPECT_TRUE(none.devices().empty());
    EXPECT_EQ(leveledLines().back(), "2 [RawDevice] No raw input device attached");
}

TEST_F(Registration, NothingToRegister)
{
    // No devices at all.
    EXPECT_EQ(registerRawInputDevices(_source, _registry), 0);
    EXPECT_EQ(leveledLines(),
              std::vector<std::string>{"2 [RawDevice] No RawInput devices attached"});
    EXPECT_EQ(shows(), 0);

    // Devices, none of them a 3D mouse.
    log().clear();
    _source.devices["/dev/hidraw0"] = HidDeviceInfo{"Mouse", 1, 2, 3, 1, 2};
    EXPECT_EQ(registerRawInputDevices(_source, _registry), 0);
    EXPECT_EQ(leveledLines().back(), "2 [RawDevice] No raw input device attached");
    EXPECT_TRUE(_source.opened.empty());

    // The list itself cannot be read: an error that shows the console.
    log().clear();
    _source.listable = false;
    EXPECT_EQ(registerRawInputDevices(_source, _registry), 0);
    EXPECT_EQ(leveledLines(),
              std::vector<std::string>{"8 [RawDevice] Error from GetRawInputDeviceList"});
    EXPECT_EQ(shows(), 1);
    EXPECT_TRUE(_registry.devices().empty());
}

// A device directory and a class directory as the kernel lays them out.
class FakeDirectory : public Registration
{
protected:
    void SetUp() override
    {
        Registration::SetUp();
        ASSERT_TRUE(_root.isValid());
        _dev = _root.path().toStdString() + "/dev";
        _class = _root.path().toStdString() + "/class";
        ::mkdir(_dev.c_str(), 0755);
        ::mkdir(_class.c_str(), 0755);
    }

    void write(const std::string& path, const std::string& contents)
    {
        std::ofstream(path, std::ios::binary) << contents;
    }

    // A node and its description; `usbVersion` goes where a USB device keeps it.
    void addDevice(const std::string& node, const std::string& uevent,
                   const std::vector<std::uint8_t>& descriptor, const std::string& usbVersion)
    {
        write(_dev + "/" + node, "");
        // class/<node>/device is the HID device inside an interface inside
        // the USB device.
        const std::string usb = _class + "/usb-" + node;
        ::mkdir(usb.c_str(), 0755);
        ::mkdir((usb + "/interface").c_str(), 0755);
        ::mkdir((usb + "/interface/hid").c_str(), 0755);
        ::mkdir((_class + "/" + node).c_str(), 0755);
        ASSERT_EQ(
            ::symlink((usb + "/interface/hid").c_str(), (_class + "/" + node + "/device").c_str()),
            0);
        write(usb + "/interface/hid/uevent", uevent);
        write(usb + "/interface/hid/report_descriptor",
              std::string(descriptor.begin(), descriptor.end()));
        if (!usbVersion.empty())
            write(usb + "/bcdDevice", usbVersion);
    }

    QTemporaryDir _root;
    std::string _dev;
    std::string _class;
};

TEST_F(FakeDirectory, ListsNodesInNumberOrderAndDescribesThemFromTheClassDirectory)
{
    addDevice("hidraw10",
              "DRIVER=hid-generic\nHID_ID=0003:0000256F:0000C62E\nHID_NAME=3D Mouse Pro\n",
              SPACE_MOUSE_DESCRIPTOR, "0105\n");
    addDevice("hidraw2", "HID_ID=0003:000004D9:00001603\nHID_NAME=Keyboard\n", KEYBOARD_DESCRIPTOR,
              "");
    write(_dev + "/hidrawx", ""); // not a node name
    write(_dev + "/hidraw", "");  // neither
    write(_dev + "/tty0", "");

    HidrawDirectory directory(_dev, _class);
    std::vector<std::string> nodes;
    ASSERT_TRUE(directory.listDevices(nodes));
    EXPECT_EQ(nodes, (std::vector<std::string>{_dev + "/hidraw2", _dev + "/hidraw10"}));

    HidDeviceInfo info;
    ASSERT_TRUE(directory.describe(_dev + "/hidraw10", info));
    EXPECT_EQ(info.name, "3D Mouse Pro");
    EXPECT_EQ(info.vendor, 0x256Fu);
    EXPECT_EQ(info.product, 0xC62Eu);
    EXPECT_EQ(info.version, 0x0105u);
    EXPECT_EQ(info.usagePage, GENERIC_DESKTOP_PAGE);
    EXPECT_EQ(info.usage, MULTI_AXIS_CONTROLLER);

    HidDeviceInfo keyboard;
    ASSERT_TRUE(directory.describe(_dev + "/hidraw2", keyboard));
    EXPECT_EQ(keyboard.version, 0u) << "no USB device above it";
    EXPECT_EQ(keyboard.usage, 6);

    HidDeviceInfo missing;
    EXPECT_FALSE(directory.describe(_dev + "/hidraw7", missing));

    // Registration over it opens the 3D mouse only.
    EXPECT_EQ(registerRawInputDevices(directory, _registry), 1);
    ASSERT_EQ(_registry.devices().size(), 1u);
    EXPECT_EQ(_registry.devices()[0].node, _dev + "/hidraw10");
    EXPECT_EQ(::fcntl(_registry.devices()[0].fd, F_GETFL) & O_NONBLOCK, O_NONBLOCK);
}

} // namespace
