#pragma once
// The program's settings store and the one table of its keys.
//
// The store is an INI file in the user's configuration folder
// (~/.config/Pellam/Orvane.ini on Linux), shared with the settings dialog.
// Every key the program reads or writes is a row of Settings.def: its name,
// type and default. Readers take the default from the row, so a key absent
// from the store reads the same everywhere.
//
// Keys are one key whatever their letter case: the dialog writes
// "Network/TCPPort" where start-up reads "Network/TcpPort". Qt's INI store on
// Linux tells them apart (and keeps both in the file), so every access goes
// through the functions below: a read finds the stored key in any case (the
// exact spelling first), a write removes the other spellings so that one
// remains.
//
// Threading: a QSettings object belongs to the thread that opened it; open
// one per use with openSettings(). Qt serialises access to the file itself.

#include <QSettings>
#include <QString>
#include <QVariant>

#include <array>
#include <cstddef>
#include <string_view>

namespace settings {

enum class SettingType
{
    Integer,
    Choice,     // an integer naming one of the choices minimum..maximum
    Real,       // a positive number
    Boolean,    // "true" / "false"
    CheckState, // 0 unchecked, 2 checked; any non-zero number reads as checked
    Text,
    Directory,  // text naming a folder
    NumberText, // a number kept as text
    Group,      // a group of keys, no value of its own
};

enum class SettingKey
{
#define SETTING(id, key, type, value, dialogValue, minimum, maximum) id,
#include "settings/Settings.def"
#undef SETTING
};

struct Setting
{
    SettingKey id;
    std::string_view key;
    SettingType type;
    std::string_view defaultValue;       // as the store holds it
    std::string_view dialogDefaultValue; // empty: defaultValue
    long long minimum;                   // Integer and Choice only
    long long maximum;
};

inline constexpr Setting SETTINGS[] = {
#define SETTING(id, key, type, value, dialogValue, minimum, maximum)                               \
    {SettingKey::id, key, SettingType::type, value, dialogValue, minimum, maximum},
#include "settings/Settings.def"
#undef SETTING
};
inline constexpr std::size_t SETTING_COUNT = std::size(SETTINGS);

// The keys of each preset under "Presets/<name>/", as the video export
// writes them.
inline constexpr std::array<std::string_view, 5> PRESET_FIELDS = {"Codec", "Bitrate", "Framerate",
                                                                  "Width", "Height"};

constexpr const Setting& setting(SettingKey id)
{
    return SETTINGS[std::size_t(id)];
}

constexpr bool settingsInKeyOrder()
{
    for (std::size_t i = 0; i < SETTING_COUNT; ++i)
        if (std::size_t(SETTINGS[i].id) != i)
            return false;
    return true;
}
static_assert(settingsInKeyOrder(), "SETTINGS must list the keys in enum order");

// The program's store: INI, user scope, "Pellam"/"Orvane".
QSettings openSettings();

// A row's key as the table spells it.
QString keyName(SettingKey id);

// The row of `key` whatever its case; for a key inside a Group row ("Presets/
// Fast/Codec") the group's row. Null for keys not in the table.
const Setting* findSetting(QStringView key);

// A row's default (or dialog default) as the value its type reads as: int
// for Integer and CheckState, double for Real, bool for Boolean, QString for
// the texts, an invalid QVariant for a Group.
QVariant defaultValue(const Setting& row);
QVariant defaultValue(SettingKey id);
QVariant dialogDefaultValue(const Setting& row);

// The spelling under which `key` is stored: the exact one if present, else
// the first that differs only in letter case; empty when absent.
QString storedKey(const QSettings& store, const QString& key);

// The stored value of `key` in any case; an invalid QVariant when absent.
QVariant storedValue(const QSettings& store, const QString& key);

// The stored value of `key` in any case, else the table's default for it
// (invalid for keys without a row).
QVariant settingValue(const QSettings& store, const QString& key);
QVariant settingValue(const QSettings& store, SettingKey id);

// Writes `value` under `key` as spelled here and removes every other-case
// spelling of the same key.
void setSettingValue(QSettings& store, const QString& key, const QVariant& value);
void setSettingValue(QSettings& store, SettingKey id, const QVariant& value);

// Which default a read falls back to: the one of the program's readers, or
// the one the settings dialog shows (they differ for the 3D-mouse speeds).
enum class DefaultFor
{
    Reader,
    Dialog,
};

// Typed reads of a row. A value that is absent, empty or not of the row's
// type gives the row's default; `ok`, when given, is false only in the last
// case, so that a caller can report the unreadable value.
//   integerSetting: Integer and Choice rows, whole numbers (surrounding spaces allowed);
//                   the row's range is not applied.
//   realSetting:    Real and NumberText rows.
//   flagSetting:    Boolean and CheckState rows; a number is true when
//                   non-zero, else "true"/"false" in any case.
//   textSetting:    Text, Directory and NumberText rows; an empty stored
//                   text is kept, only an absent key gives the default.
int integerSetting(const QSettings& store, SettingKey id, bool* ok = nullptr);
double realSetting(const QSettings& store, SettingKey id, bool* ok = nullptr);
bool flagSetting(const QSettings& store, SettingKey id, bool* ok = nullptr);
QString textSetting(const QSettings& store, SettingKey id);

// The reads of the program's readers, which mend what a hand-edited store
// may hold. An absent or empty value gives the row's default without a word.
// A value that is not of the row's type gives the default, and one outside
// the row's range the nearest value within it (a Choice: the default), each
// with one console line naming the key, the stored value and the value used.
// A value is reported once per process, as some are read on every new view
// or resize.
//   mendedInteger: Integer and Choice rows.
//   mendedReal:    Real rows (a positive, finite number) and NumberText rows
//                  (any finite number).
//   mendedFlag:    Boolean and CheckState rows.
int mendedInteger(const QSettings& store, SettingKey id);
double mendedReal(const QSettings& store, SettingKey id, DefaultFor which = DefaultFor::Reader);
bool mendedFlag(const QSettings& store, SettingKey id);

// Forgets which values have been reported, so that the next bad read of
// each is reported again (tests, each with a store of its own).
void forgetReportedValues();

} // namespace settings
