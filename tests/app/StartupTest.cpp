// The port the program listens on: the stored setting, unless the command
// line names one.

#include <gtest/gtest.h>

#include <QSettings>
#include <QTemporaryDir>

#include <string>
#include <vector>

#include "app/Startup.h"
#include "settings/Settings.h"
#include "tests/support/SettingsFixture.h"

namespace {

// The user-scope settings store in a fresh folder for each test.
class StoredPort : public settings_test::StoreFixture
{
protected:
    int portFor(const std::vector<std::string>& arguments)
    {
        const commandline::CommandLine commandLine = commandline::parse(arguments);
        EXPECT_EQ(commandLine.action, commandline::CommandLine::Action::Run) << commandLine.error;
        return startup::listeningPort(commandLine);
    }
};

TEST_F(StoredPort, DefaultsTo11000)
{
    EXPECT_EQ(startup::storedPort(), 11000);
    EXPECT_EQ(portFor({"orvane"}), 11000);
}

TEST_F(StoredPort, SettingIsUsedAndArgumentOverridesIt)
{
    storeRaw("Network/TcpPort", 12001);
    EXPECT_EQ(portFor({"orvane"}), 12001);
    EXPECT_EQ(portFor({"orvane", "-tcp", "12002"}), 12002);
    EXPECT_EQ(portFor({"orvane", "-tcp", "0"}), 0);
}

TEST_F(StoredPort, KeyIsFoundWhateverItsCase)
{
    storeRaw("Network/TCPPort", 12003); // as the settings dialog writes it
    EXPECT_EQ(startup::storedPort(), 12003);
}

TEST_F(StoredPort, ExactSpellingWinsOverOtherCase)
{
    storeRaw("Network/TCPPort", 12004);
    storeRaw("Network/TcpPort", 12005);
    EXPECT_EQ(startup::storedPort(), 12005);
}

TEST_F(StoredPort, PortWrittenByTheDialogReplacesTheStoredOne)
{
    storeRaw("Network/TcpPort", 12007);
    {
        // The dialog's spelling, written as every writer of the store writes.
        QSettings dialog = settings::openSettings();
        settings::setSettingValue(dialog, "Network/TCPPort", 12008);
    }
    EXPECT_EQ(startup::storedPort(), 12008);
    EXPECT_EQ(portFor({"orvane"}), 12008);
}

TEST_F(StoredPort, ValueThatIsNoNumberGivesTheDefault)
{
    storeRaw("Network/TcpPort", "eleven");
    EXPECT_EQ(startup::storedPort(), 11000);
    storeRaw("Network/TcpPort", " 12006 ");
    EXPECT_EQ(startup::storedPort(), 12006);
}

TEST_F(StoredPort, NumberOutsideThePortsGivesTheNearestPort)
{
    // 99999 would otherwise be cut to 16 bits by the socket (34463).
    storeRaw("Network/TcpPort", 99999);
    EXPECT_EQ(startup::storedPort(), 65535);
    storeRaw("Network/TcpPort", -1);
    EXPECT_EQ(startup::storedPort(), 0);
    storeRaw("Network/TcpPort", 65535);
    EXPECT_EQ(startup::storedPort(), 65535);
}

} // namespace
