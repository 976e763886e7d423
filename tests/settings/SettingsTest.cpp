// The table of settings keys and the store's reads and writes: defaults for
// absent keys, keys matched whatever their letter case, one spelling left
// after a write, check states read as flags.

#include <gtest/gtest.h>

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <ostream>
#include <string>

#include "settings/Settings.h"

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
            if (row.type == SettingType::Integer) {
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
        EXPECT_TRUE(row.type == SettingType::Integer || (row.minimum == 0 && row.maximum == 0))
            << "only integers have a range";
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
class SettingsStore : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(_folder.isValid());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, _folder.path());
    }

    // Writes `key` as it is spelled, as another program would.
    void storeRaw(const QString& key, const QVariant& value)
    {
        QSettings store = settings::openSettings();
        store.setValue(key, value);
        store.sync();
        ASSERT_EQ(store.status(), QSettings::NoError);
    }

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

    QTemporaryDir _folder;
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

} // namespace
