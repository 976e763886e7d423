// The table of settings keys and the store's reads and writes: defaults for
// absent keys, keys matched whatever their letter case, one spelling left
// after a write, check states read as flags, hand-edited values mended and
// reported.

#include <gtest/gtest.h>

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <ostream>
#include <string>

#include "settings/Settings.h"
#include "tests/support/SettingsFixture.h"

namespace {

using settings::Setting;
using settings::SettingKey;
using settings::SETTINGS;
using settings::SettingType;

QString qstr(std::string_view text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

std::string label(const Setting& row)
{
    return std::string(row.key);
}

// ---- The table ----

// Two rows must not name one key in different cases, nor may a key lie
// inside a group row: the reads would find the wrong row.
TEST(SettingsTable, EveryKeyOnceEvenIgnoringCase)
{
    for (const Setting& a : SETTINGS)
        for (const Setting& b : SETTINGS) {
            if (&a == &b)
                continue;
            EXPECT_NE(qstr(a.key).compare(qstr(b.key), Qt::CaseInsensitive), 0)
                << label(a) << " and " << label(b);
            EXPECT_TRUE(a.type != SettingType::Group ||
                        !qstr(b.key).startsWith(qstr(a.key) + "/", Qt::CaseInsensitive))
                << label(b) << " is inside the group " << label(a);
        }
}

// The defaults parse as their type (an invalid QVariant when they do not)
// and lie within the row's range.
TEST(SettingsTable, EveryDefaultIsAValueOfItsType)
{
    for (const Setting& row : SETTINGS) {
        SCOPED_TRACE(label(row));
        for (const QVariant& value :
             {settings::defaultValue(row), settings::dialogDefaultValue(row)}) {
            EXPECT_EQ(value.isValid(), row.type != SettingType::Group);
            if (row.type == SettingType::Real) {
                EXPECT_GT(value.toDouble(), 0.0);
            } else if (row.type == SettingType::Integer || row.type == SettingType::Choice) {
                EXPECT_GE(value.toInt(), row.minimum);
                EXPECT_LE(value.toInt(), row.maximum);
            } else if (row.type == SettingType::CheckState) {
                EXPECT_TRUE(value.toInt() == 0 || value.toInt() == 2) << value.toInt();
            } else if (row.type == SettingType::NumberText) {
                bool ok = false;
                value.toString().toDouble(&ok);
                EXPECT_TRUE(ok) << value.toString().toStdString();
            }
        }
        EXPECT_TRUE(row.type == SettingType::Integer || row.type == SettingType::Choice ||
                    (row.minimum == 0 && row.maximum == 0))
            << "only integers and choices have a range";
    }
}

TEST(SettingsTable, RowsAreFoundByKeyInAnyCaseAndGroupsByTheirKeys)
{
    for (const Setting& row : SETTINGS) {
        EXPECT_EQ(settings::findSetting(qstr(row.key).toUpper()), &row) << label(row);
        EXPECT_EQ(settings::findSetting(qstr(row.key).toLower()), &row) << label(row);
    }
    const Setting* presets = &settings::setting(SettingKey::Presets);
    EXPECT_EQ(settings::findSetting(u"presets/Web/Bitrate"), presets);
    EXPECT_EQ(settings::findSetting(u"PresetsOld/Codec"), nullptr);
    EXPECT_EQ(settings::findSetting(u"Network/TcpPort/Extra"), nullptr);
    EXPECT_EQ(settings::findSetting(u"Network"), nullptr);
}

// ---- The store ----

// The user-scope store moved into a fresh folder for each test.
class SettingsStore : public settings_test::StoreFixture
{
protected:
    // The lines of the INI file naming `key` (the part after the group)
    // whatever its case, and the file's section headers.
    QStringList fileLinesFor(const QString& name)
    {
        QFile file(_folder.filePath("Pellam/Orvane.ini"));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QStringList found;
        for (const QString& line : QString::fromUtf8(file.readAll()).split('\n'))
            if (line.startsWith('[') ||
                line.section('=', 0, 0).compare(name, Qt::CaseInsensitive) == 0)
                found << line.trimmed();
        return found;
    }
};

TEST_F(SettingsStore, MissingKeyGivesTheTableDefault)
{
    storeRaw("Unrelated/Key", 1);
    const QSettings store = settings::openSettings();
    for (const Setting& row : SETTINGS) {
        EXPECT_FALSE(settings::storedValue(store, qstr(row.key)).isValid()) << label(row);
        EXPECT_EQ(settings::settingValue(store, row.id), settings::defaultValue(row)) << label(row);
    }
    // The typed reads, one of each kind of conversion from the table's text.
    bool ok = false;
    EXPECT_EQ(settings::integerSetting(store, SettingKey::TcpPort, &ok),
              settings::defaultValue(SettingKey::TcpPort).toInt());
    EXPECT_TRUE(ok);
    EXPECT_TRUE(settings::flagSetting(store, SettingKey::AutoCalculateHomePosition));
    EXPECT_FALSE(settings::flagSetting(store, SettingKey::Fullscreen));
    EXPECT_EQ(settings::realSetting(store, SettingKey::StandardPositionY),
              settings::defaultValue(SettingKey::StandardPositionY).toString().toDouble());
    EXPECT_EQ(settings::realSetting(store, SettingKey::SpaceMouseRotationSpeed),
              settings::defaultValue(SettingKey::SpaceMouseRotationSpeed).toDouble());
    EXPECT_EQ(settings::textSetting(store, SettingKey::StandardPositionY),
              qstr(settings::setting(SettingKey::StandardPositionY).defaultValue));
}

TEST_F(SettingsStore, KeyWrittenInOtherCaseIsReadUnderTheTableSpelling)
{
    {
        QSettings store = settings::openSettings();
        settings::setSettingValue(store, "Network/TCPPort", 12003);
    } // written to the file here
    const QSettings store = settings::openSettings();
    EXPECT_EQ(settings::storedKey(store, "Network/TcpPort"), "Network/TCPPort");
    EXPECT_EQ(settings::integerSetting(store, SettingKey::TcpPort), 12003);
    EXPECT_EQ(settings::settingValue(store, "network/tcpport").toInt(), 12003);
}

TEST_F(SettingsStore, WriteLeavesOneSpellingOfTheKeyInTheFile)
{
    storeRaw("Network/TcpPort", 12001);
    {
        QSettings store = settings::openSettings();
        settings::setSettingValue(store, "Network/TCPPort", 12004);
    }
    EXPECT_EQ(fileLinesFor("TcpPort"), QStringList({"[Network]", "TCPPort=12004"}));

    {
        QSettings store = settings::openSettings();
        settings::setSettingValue(store, SettingKey::TcpPort, 12005);
    }
    EXPECT_EQ(fileLinesFor("TcpPort"), QStringList({"[Network]", "TcpPort=12005"}));
    EXPECT_EQ(settings::openSettings().allKeys(), QStringList({"Network/TcpPort"}));
}

TEST_F(SettingsStore, GroupsMatchWhateverTheirCase)
{
    storeRaw("network/TCPPORT", 12006);
    storeRaw("STANDARDBACKGROUNDCOLOR/blue", 64);
    {
        const QSettings store = settings::openSettings();
        EXPECT_EQ(settings::integerSetting(store, SettingKey::TcpPort), 12006);
        EXPECT_EQ(settings::integerSetting(store, SettingKey::BackgroundBlue), 64);
    }
    {
        QSettings store = settings::openSettings();
        settings::setSettingValue(store, SettingKey::BackgroundBlue, 32);
    }
    const QSettings store = settings::openSettings();
    QStringList groups = store.childGroups();
    groups.sort(Qt::CaseInsensitive);
    EXPECT_EQ(groups, QStringList({"network", "StandardBackGroundColor"}));
    EXPECT_EQ(settings::integerSetting(store, SettingKey::BackgroundBlue), 32);
}

TEST_F(SettingsStore, WriteKeepsKeysThatOnlyShareAPrefix)
{
    storeRaw("Network/TcpPortOld", 1);
    storeRaw("Other/TcpPort", 2);
    storeRaw("Network/TcpPort/Note", 3);
    {
        QSettings store = settings::openSettings();
        settings::setSettingValue(store, SettingKey::TcpPort, 12007);
    }
    QStringList keys = settings::openSettings().allKeys();
    keys.sort();
    EXPECT_EQ(keys, QStringList({"Network/TcpPort", "Network/TcpPort/Note", "Network/TcpPortOld",
                                 "Other/TcpPort"}));
}

TEST_F(SettingsStore, ExactSpellingWinsWhenTheFileHoldsBoth)
{
    storeRaw("Network/TCPPort", 12008);
    storeRaw("Network/TcpPort", 12009);
    const QSettings store = settings::openSettings();
    EXPECT_EQ(settings::integerSetting(store, SettingKey::TcpPort), 12009);
    EXPECT_EQ(settings::settingValue(store, "Network/TCPPort").toInt(), 12008);
}

TEST_F(SettingsStore, PresetsAreKeysOfTheirOwnWithoutDefaults)
{
    QSettings store = settings::openSettings();
    settings::setSettingValue(store, "Presets/Web/Bitrate", 4000);
    settings::setSettingValue(store, "presets/web/bitrate", 5000);
    EXPECT_EQ(store.allKeys(), QStringList({"presets/web/bitrate"}));
    EXPECT_EQ(settings::settingValue(store, "Presets/Web/Bitrate").toInt(), 5000);
    EXPECT_FALSE(settings::settingValue(store, "Presets/Web/Codec").isValid());
}

struct StoredCase
{
    const char* name;
    QVariant stored;
    bool expected; // when the row's default is unchecked
    bool expectedWhenChecked;
    bool ok;
};

void PrintTo(const StoredCase& c, std::ostream* out)
{
    *out << c.name;
}

class FlagRead : public SettingsStore, public testing::WithParamInterface<StoredCase>
{
};

TEST_P(FlagRead, CheckStateAndBooleanSpellings)
{
    const StoredCase& c = GetParam();
    storeRaw("Replay/disabled", c.stored);
    storeRaw("Camera/AutoCalculateHomePosition/autoCalculate", c.stored);
    const QSettings store = settings::openSettings();
    bool ok = !c.ok;
    EXPECT_EQ(settings::flagSetting(store, SettingKey::ReplayDisabled, &ok), c.expected);
    EXPECT_EQ(ok, c.ok);
    EXPECT_EQ(settings::flagSetting(store, SettingKey::AutoCalculateHomePosition),
              c.expectedWhenChecked);
}

const StoredCase kFlagCases[] = {
    {"Checked", 2, true, true, true},
    {"Unchecked", 0, false, false, true},
    {"CheckedAsText", "2", true, true, true},
    {"PartiallyChecked", 1, true, true, true},
    {"LeadingZeros", "00", false, false, true},
    {"Spaces", " 2 ", true, true, true},
    {"True", true, true, true, true},
    {"False", false, false, false, true},
    {"TrueAnyCase", "TRUE", true, true, true},
    {"EmptyIsTheDefault", "", false, true, true},
    {"WordIsTheDefault", "yes", false, true, false},
};

INSTANTIATE_TEST_SUITE_P(Settings, FlagRead, testing::ValuesIn(kFlagCases),
                         [](const testing::TestParamInfo<StoredCase>& row) {
                             return std::string(row.param.name);
                         });

TEST_F(SettingsStore, NumbersThatDoNotReadGiveTheDefault)
{
    storeRaw("Network/TcpPort", "eleven");
    storeRaw("3DMouse/movement speed", "fast");
    storeRaw("3DMouse/rotation speed", " 2.5e-7 ");
    storeRaw("Camera/StandardPosition/Y", "");
    const QSettings store = settings::openSettings();
    bool ok = true;
    EXPECT_EQ(settings::integerSetting(store, SettingKey::TcpPort, &ok),
              settings::defaultValue(SettingKey::TcpPort).toInt());
    EXPECT_FALSE(ok);
    EXPECT_EQ(settings::realSetting(store, SettingKey::SpaceMouseMovementSpeed, &ok),
              settings::defaultValue(SettingKey::SpaceMouseMovementSpeed).toDouble());
    EXPECT_FALSE(ok);
    EXPECT_EQ(settings::realSetting(store, SettingKey::SpaceMouseRotationSpeed, &ok), 2.5e-7);
    EXPECT_TRUE(ok);
    EXPECT_EQ(settings::realSetting(store, SettingKey::StandardPositionY, &ok),
              settings::defaultValue(SettingKey::StandardPositionY).toString().toDouble());
    EXPECT_TRUE(ok); // empty counts as absent
}

// ---- Mended reads of hand-edited values ----

struct MendCase
{
    const char* name;
    SettingKey id;
    QString stored;  // written as text, as a hand-edited file holds it
    double expected; // what the program's reader gets
    // What the console line says after the key and the stored value, up to
    // " instead"; null when the value is used as it is.
    const char* complaint;
};

void PrintTo(const MendCase& c, std::ostream* out)
{
    *out << c.name;
}

class MendedRead : public settings_test::StoreFixture, public testing::WithParamInterface<MendCase>
{
protected:
    // The reader the program uses for the row's type.
    static double read(const QSettings& store, SettingKey id)
    {
        switch (settings::setting(id).type) {
        case SettingType::Integer:
        case SettingType::Choice:
            return settings::mendedInteger(store, id);
        case SettingType::Real:
        case SettingType::NumberText:
            return settings::mendedReal(store, id);
        default:
            return settings::mendedFlag(store, id) ? 1.0 : 0.0;
        }
    }
};

TEST_P(MendedRead, GivesAUsableValueAndNamesTheKeyOnce)
{
    const MendCase& c = GetParam();
    {
        QSettings store = settings::openSettings();
        store.setValue(settings::keyName(c.id), c.stored);
    }
    const QSettings store = settings::openSettings();
    EXPECT_EQ(read(store, c.id), c.expected);
    EXPECT_EQ(read(store, c.id), c.expected); // the second read says nothing more
    const std::vector<std::string> lines = finishedTexts();
    if (!c.complaint) {
        EXPECT_TRUE(lines.empty()) << lines.front();
    } else {
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines.front(), "[Settings] " + settings::keyName(c.id).toStdString() + " = \"" +
                                     c.stored.toStdString() + "\" " + c.complaint + " instead");
        EXPECT_EQ(log().snapshot().front().level, console::LEVEL_8);
    }
}

const MendCase kMendCases[] = {
    {"PortInRange", SettingKey::TcpPort, "12345", 12345, nullptr},
    {"PortEmpty", SettingKey::TcpPort, "", 11000, nullptr},
    {"PortWord", SettingKey::TcpPort, "abc", 11000, "is not a whole number; using 11000"},
    {"PortTooHigh", SettingKey::TcpPort, "70000", 65535, "is outside 0 to 65535; using 65535"},
    {"PortNegative", SettingKey::TcpPort, "-1", 0, "is outside 0 to 65535; using 0"},
    {"PortBeyondAnyInteger", SettingKey::TcpPort, "99999999999999999999", 11000,
     "is not a whole number; using 11000"},
    {"PortFraction", SettingKey::TcpPort, "11000.5", 11000, "is not a whole number; using 11000"},
    {"ColourTooHigh", SettingKey::BackgroundRed, "300", 255, "is outside 0 to 255; using 255"},
    {"ColourList", SettingKey::BackgroundBlue, "1, 2", 128, "is not a whole number; using 128"},
    {"ChoiceOutOfRangeIsTheDefault", SettingKey::HardwareAcceleration, "7", 0,
     "is outside 0 to 2; using 0"},
    {"ChoiceInRange", SettingKey::HardwareAcceleration, "2", 2, nullptr},
    {"SpeedNegative", SettingKey::SpaceMouseMovementSpeed, "-1", 1e-7,
     "is not a positive number; using 1e-07"},
    {"SpeedZero", SettingKey::SpaceMouseRotationSpeed, "0", 1e-8,
     "is not a positive number; using 1e-08"},
    {"SpeedInfinite", SettingKey::SpaceMouseRotationSpeed, "inf", 1e-8,
     "is not a positive number; using 1e-08"},
    {"SpeedUsable", SettingKey::SpaceMouseMovementSpeed, "2.5e-6", 2.5e-6, nullptr},
    {"PositionNegativeIsANumber", SettingKey::StandardPositionX, "-3.5", -3.5, nullptr},
    {"PositionWord", SettingKey::StandardPositionZ, "up", 1, "is not a number; using 1"},
    {"FlagWord", SettingKey::NoClip, "maybe", 0, "is not true or false; using false"},
    {"CheckStateWord", SettingKey::AutoCalculateHomePosition, "on", 1,
     "is not a check state (0 or 2); using 2"},
    {"CheckStateNumber", SettingKey::ReplayDisabled, "2", 1, nullptr},
    {"WindowWidthNegative", SettingKey::WindowWidth, "-5", 0,
     "is outside 0 to 2147483647; using 0"},
    {"FileSizeNegative", SettingKey::MaxFileSizeDuplicated, "-5", 1,
     "is outside 1 to 2147483647; using 1"},
};

INSTANTIATE_TEST_SUITE_P(Settings, MendedRead, testing::ValuesIn(kMendCases),
                         [](const testing::TestParamInfo<MendCase>& row) {
                             return std::string(row.param.name);
                         });

class MendedReport : public settings_test::StoreFixture
{
};

// The line names the key as the file spells it, so the user finds it there;
// another bad value of the same key is reported again.
TEST_F(MendedReport, NamesTheStoredSpellingAndEachNewValue)
{
    {
        QSettings store = settings::openSettings();
        store.setValue("network/TCPPORT", "70000");
    }
    EXPECT_EQ(settings::mendedInteger(settings::openSettings(), SettingKey::TcpPort), 65535);
    {
        QSettings store = settings::openSettings();
        store.setValue("network/TCPPORT", "80000");
    }
    EXPECT_EQ(settings::mendedInteger(settings::openSettings(), SettingKey::TcpPort), 65535);
    EXPECT_EQ(finishedTexts(),
              (std::vector<std::string>{
                  "[Settings] network/TCPPORT = \"70000\" is outside 0 to 65535; using 65535 "
                  "instead",
                  "[Settings] network/TCPPORT = \"80000\" is outside 0 to 65535; using 65535 "
                  "instead"}));
}

TEST_F(MendedReport, DialogDefaultsOfTheSpeeds)
{
    const QSettings fresh = settings::openSettings();
    EXPECT_EQ(settings::mendedReal(fresh, SettingKey::SpaceMouseMovementSpeed,
                                   settings::DefaultFor::Dialog),
              2.5e-6);
    EXPECT_EQ(settings::mendedReal(fresh, SettingKey::SpaceMouseRotationSpeed,
                                   settings::DefaultFor::Dialog),
              2.5e-7);
    {
        QSettings store = settings::openSettings();
        store.setValue("3DMouse/movement speed", "-1");
    }
    EXPECT_EQ(settings::mendedReal(settings::openSettings(), SettingKey::SpaceMouseMovementSpeed,
                                   settings::DefaultFor::Dialog),
              2.5e-6);
    ASSERT_EQ(finishedTexts().size(), 1u);
    EXPECT_NE(finishedTexts().front().find("using 2.5e-06 instead"), std::string::npos);
}

} // namespace
