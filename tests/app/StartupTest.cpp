// The port the program listens on: the stored setting and the -tcp argument.

#include <gtest/gtest.h>

#include <QSettings>
#include <QTemporaryDir>

#include <string>
#include <vector>

#include "app/Startup.h"
#include "settings/Settings.h"

namespace {

struct ScanCase
{
    const char* name;
    std::vector<std::string> arguments; // program name first
    int stored;
    int expected;
};

class PortArgumentScan : public testing::TestWithParam<ScanCase>
{
};

TEST_P(PortArgumentScan, GivesThePortOfTheLastCompletePair)
{
    const ScanCase& c = GetParam();
    EXPECT_EQ(startup::scanPortArguments(c.arguments, c.stored), c.expected);
}

const ScanCase kScanCases[] = {
    {"NoArguments", {"orvane"}, 11000, 11000},
    {"NoOptionKeepsStoredPort", {"orvane", "-x", "12"}, 12345, 12345},
    {"OptionGivesPort", {"orvane", "-tcp", "12000"}, 11000, 12000},
    {"OptionLastIsIgnored", {"orvane", "-tcp"}, 11000, 11000},
    {"OptionLastAfterPairIsIgnored", {"orvane", "-tcp", "12000", "-tcp"}, 11000, 12000},
    {"SecondPairWins", {"orvane", "-tcp", "12000", "-tcp", "13000"}, 11000, 13000},
    {"OptionBetweenOtherArguments", {"orvane", "-a", "-tcp", "14000", "-b"}, 11000, 14000},
    {"NonDigitGivesZero", {"orvane", "-tcp", "port"}, 11000, 0},
    {"EmptyValueGivesZero", {"orvane", "-tcp", ""}, 11000, 0},
    {"SignIsNotADigit", {"orvane", "-tcp", "-5"}, 11000, 0},
    {"LeadingDigitsCount", {"orvane", "-tcp", "12ab"}, 11000, 12},
    {"OptionIsCaseSensitive", {"orvane", "-TCP", "12000"}, 11000, 11000},
    {"OptionMustMatchWholly", {"orvane", "-tcp=12000"}, 11000, 11000},
    {"ProgramNameIsNotScanned", {"-tcp", "12000"}, 11000, 11000},
    // The second "-tcp" is first the value of the first (0), then an option.
    {"OptionAsValue", {"orvane", "-tcp", "-tcp", "15000"}, 11000, 15000},
    {"HugeNumberSaturates", {"orvane", "-tcp", "99999999999999999999"}, 11000, 2147483647},
};

INSTANTIATE_TEST_SUITE_P(Startup, PortArgumentScan, testing::ValuesIn(kScanCases),
                         [](const testing::TestParamInfo<ScanCase>& row) {
                             return std::string(row.param.name);
                         });

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
    int portFor(std::vector<const char*> arguments)
    {
        std::vector<char*> argv;
        for (const char* argument : arguments)
            argv.push_back(const_cast<char*>(argument));
        return startup::portFromSettingsAndArguments(int(argv.size()), argv.data());
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
    EXPECT_EQ(portFor({"orvane", "-tcp"}), 12001);
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

} // namespace
