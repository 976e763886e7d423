// The port the program listens on: the stored setting, unless the command
// line names one.

#include <gtest/gtest.h>

#include <QSettings>
#include <QTemporaryDir>

#include <string>
#include <vector>

#include "app/Startup.h"
#include "settings/Settings.h"

namespace {

// Points the user-scope settings store at a fresh folder for each test.
class StoredPort : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(_folder.isValid());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, _folder.path());
    }
    void store(const QString& key, const QVariant& value)
    {
        QSettings settings(QSettings::IniFormat, QSettings::UserScope, "Pellam", "Orvane");
        settings.setValue(key, value);
        settings.sync();
        ASSERT_EQ(settings.status(), QSettings::NoError);
    }
    int portFor(const std::vector<std::string>& arguments)
    {
        const commandline::CommandLine commandLine = commandline::parse(arguments);
        EXPECT_EQ(commandLine.action, commandline::CommandLine::Action::Run) << commandLine.error;
        return startup::listeningPort(commandLine);
    }

    QTemporaryDir _folder;
};

TEST_F(StoredPort, DefaultsTo11000)
{
    EXPECT_EQ(startup::storedPort(), 11000);
    EXPECT_EQ(portFor({"orvane"}), 11000);
}

TEST_F(StoredPort, SettingIsUsedAndArgumentOverridesIt)
{
    store("Network/TcpPort", 12001);
    EXPECT_EQ(portFor({"orvane"}), 12001);
    EXPECT_EQ(portFor({"orvane", "-tcp", "12002"}), 12002);
    EXPECT_EQ(portFor({"orvane", "-tcp", "0"}), 0);
}

TEST_F(StoredPort, KeyIsFoundWhateverItsCase)
{
    store("Network/TCPPort", 12003); // as the settings dialog writes it
    EXPECT_EQ(startup::storedPort(), 12003);
}

TEST_F(StoredPort, ExactSpellingWinsOverOtherCase)
{
    store("Network/TCPPort", 12004);
    store("Network/TcpPort", 12005);
    EXPECT_EQ(startup::storedPort(), 12005);
}

TEST_F(StoredPort, PortWrittenByTheDialogReplacesTheStoredOne)
{
    store("Network/TcpPort", 12007);
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
    store("Network/TcpPort", "eleven");
    EXPECT_EQ(startup::storedPort(), 11000);
    store("Network/TcpPort", " 12006 ");
    EXPECT_EQ(startup::storedPort(), 12006);
}

TEST_F(StoredPort, NumberOutsideThePortsGivesTheNearestPort)
{
    // 99999 would otherwise be cut to 16 bits by the socket (34463).
    store("Network/TcpPort", 99999);
    EXPECT_EQ(startup::storedPort(), 65535);
    store("Network/TcpPort", -1);
    EXPECT_EQ(startup::storedPort(), 0);
    store("Network/TcpPort", 65535);
    EXPECT_EQ(startup::storedPort(), 65535);
}

} // namespace
