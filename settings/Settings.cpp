#include "settings/Settings.h"

#include <QStringList>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <set>

#include "log/Log.h"

namespace settings {

namespace {

QString toQString(std::string_view text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

// Readers of stored text; each gives an invalid QVariant for text that is
// not a value of its kind.
QVariant parseInteger(const QString& text)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok ? QVariant(value) : QVariant();
}

QVariant parseReal(const QString& text)
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    return ok ? QVariant(value) : QVariant();
}

QVariant parseBoolean(const QString& text)
{
    const QString word = text.trimmed();
    if (word.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
        return true;
    if (word.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
        return false;
    return QVariant();
}

// Either spelling is accepted for either flag type: a check box may have
// been stored as a bool, a bool as a check state.
QVariant parseFlag(const QString& text)
{
    const QVariant number = parseInteger(text);
    return number.isValid() ? QVariant(number.toInt() != 0) : parseBoolean(text);
}

// `text` read as a value of `type`.
QVariant parse(SettingType type, const QString& text)
{
    switch (type) {
    case SettingType::Integer:
    case SettingType::Choice:
    case SettingType::CheckState:
        return parseInteger(text);
    case SettingType::Real:
        return parseReal(text);
    case SettingType::Boolean:
        return parseBoolean(text);
    case SettingType::Text:
    case SettingType::Directory:
    case SettingType::NumberText:
        return text;
    case SettingType::Group:
        break;
    }
    return QVariant();
}

// Whether `key` is `group` itself or lies inside it.
bool inGroup(QStringView key, QStringView group)
{
    if (!key.startsWith(group, Qt::CaseInsensitive))
        return false;
    return key.size() == group.size() || key[group.size()] == QLatin1Char('/');
}

// A stored value as the text a user wrote: INI values with commas come back
// as string lists.
QString valueText(const QVariant& value)
{
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1String(", "));
    return value.toString();
}

// The stored text of a row; empty when absent.
QString storedText(const QSettings& store, SettingKey id)
{
    const QVariant value = storedValue(store, keyName(id));
    return value.isValid() ? valueText(value) : QString();
}

// A row's stored value read by `reader`; its default read by `reader` when
// the value is absent, empty or unreadable (`ok` false only for the last).
QVariant typedValue(const QSettings& store, SettingKey id, QVariant (*reader)(const QString&),
                    bool* ok)
{
    const QString stored = storedText(store, id);
    const bool present = !stored.isEmpty();
    const QVariant value = present ? reader(stored) : QVariant();
    if (ok)
        *ok = !present || value.isValid();
    return value.isValid() ? value : reader(toQString(setting(id).defaultValue));
}

std::mutex& reportMutex()
{
    static std::mutex mutex;
    return mutex;
}

// The reported values, as the lower-cased key and the text. Protected by
// reportMutex().
std::set<QString>& reportedValues()
{
    static std::set<QString> reported;
    return reported;
}

// One console line for a stored value that cannot be used as it is, once per
// key and value.
void reportMended(const QSettings& store, SettingKey id, const QString& text,
                  const QString& problem, const QString& used)
{
    QString key = storedKey(store, keyName(id));
    if (key.isEmpty())
        key = keyName(id);
    {
        const std::lock_guard<std::mutex> lock(reportMutex());
        if (!reportedValues().insert(key.toLower() + QLatin1Char('\n') + text).second)
            return;
    }
    const QString line =
        "[Settings] " + key + " = \"" + text + "\" " + problem + "; using " + used + " instead";
    console::writeLine(console::LEVEL_8, line.toStdString());
}

} // namespace

QSettings openSettings()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, "Pellam", "Orvane");
}

QString keyName(SettingKey id)
{
    return toQString(setting(id).key);
}

const Setting* findSetting(QStringView key)
{
    for (const Setting& row : SETTINGS) {
        const QString name = toQString(row.key);
        if (row.type == SettingType::Group ? inGroup(key, name)
                                           : key.compare(name, Qt::CaseInsensitive) == 0)
            return &row;
    }
    return nullptr;
}

QVariant defaultValue(const Setting& row)
{
    return parse(row.type, toQString(row.defaultValue));
}

QVariant defaultValue(SettingKey id)
{
    return defaultValue(setting(id));
}

QVariant dialogDefaultValue(const Setting& row)
{
    return row.dialogDefaultValue.empty() ? defaultValue(row)
                                          : parse(row.type, toQString(row.dialogDefaultValue));
}

QString storedKey(const QSettings& store, const QString& key)
{
    if (store.contains(key))
        return key;
    const QStringList keys = store.allKeys();
    for (const QString& candidate : keys)
        if (candidate.compare(key, Qt::CaseInsensitive) == 0)
            return candidate;
    return QString();
}

QVariant storedValue(const QSettings& store, const QString& key)
{
    const QString found = storedKey(store, key);
    return found.isEmpty() ? QVariant() : store.value(found);
}

QVariant settingValue(const QSettings& store, const QString& key)
{
    const QVariant value = storedValue(store, key);
    if (value.isValid())
        return value;
    const Setting* row = findSetting(key);
    return row ? defaultValue(*row) : QVariant();
}

QVariant settingValue(const QSettings& store, SettingKey id)
{
    return settingValue(store, keyName(id));
}

void setSettingValue(QSettings& store, const QString& key, const QVariant& value)
{
    const QStringList keys = store.allKeys();
    for (const QString& candidate : keys)
        if (candidate != key && candidate.compare(key, Qt::CaseInsensitive) == 0)
            store.remove(candidate);
    store.setValue(key, value);
}

void setSettingValue(QSettings& store, SettingKey id, const QVariant& value)
{
    setSettingValue(store, keyName(id), value);
}

int integerSetting(const QSettings& store, SettingKey id, bool* ok)
{
    Q_ASSERT(setting(id).type == SettingType::Integer || setting(id).type == SettingType::Choice);
    return typedValue(store, id, parseInteger, ok).toInt();
}

double realSetting(const QSettings& store, SettingKey id, bool* ok)
{
    Q_ASSERT(setting(id).type == SettingType::Real || setting(id).type == SettingType::NumberText);
    return typedValue(store, id, parseReal, ok).toDouble();
}

bool flagSetting(const QSettings& store, SettingKey id, bool* ok)
{
    Q_ASSERT(setting(id).type == SettingType::Boolean ||
             setting(id).type == SettingType::CheckState);
    return typedValue(store, id, parseFlag, ok).toBool();
}

QString textSetting(const QSettings& store, SettingKey id)
{
    const Setting& row = setting(id);
    Q_ASSERT(row.type == SettingType::Text || row.type == SettingType::Directory ||
             row.type == SettingType::NumberText);
    const QVariant value = storedValue(store, keyName(id));
    return value.isValid() ? value.toString() : defaultValue(row).toString();
}

int mendedInteger(const QSettings& store, SettingKey id)
{
    const Setting& row = setting(id);
    Q_ASSERT(row.type == SettingType::Integer || row.type == SettingType::Choice);
    const int fallback = defaultValue(row).toInt();
    const QString text = storedText(store, id);
    if (text.trimmed().isEmpty())
        return fallback;
    bool ok = false;
    const long long value = text.toLongLong(&ok);
    if (!ok) {
        reportMended(store, id, text, "is not a whole number", QString::number(fallback));
        return fallback;
    }
    if (value >= row.minimum && value <= row.maximum)
        return int(value);
    // A choice out of range names nothing, so the nearest one means nothing.
    const int used = row.type == SettingType::Choice
                         ? fallback
                         : int(std::clamp(value, row.minimum, row.maximum));
    reportMended(store, id, text, QString("is outside %1 to %2").arg(row.minimum).arg(row.maximum),
                 QString::number(used));
    return used;
}

double mendedReal(const QSettings& store, SettingKey id, DefaultFor which)
{
    const Setting& row = setting(id);
    Q_ASSERT(row.type == SettingType::Real || row.type == SettingType::NumberText);
    const QVariant fallbackValue =
        which == DefaultFor::Dialog ? dialogDefaultValue(row) : defaultValue(row);
    const double fallback = fallbackValue.toDouble();
    const QString text = storedText(store, id);
    if (text.trimmed().isEmpty())
        return fallback;
    bool ok = false;
    const double value = text.toDouble(&ok);
    const bool positive = row.type != SettingType::Real || value > 0.0;
    if (ok && std::isfinite(value) && positive)
        return value;
    reportMended(store, id, text,
                 row.type == SettingType::Real ? "is not a positive number" : "is not a number",
                 QString::number(fallback));
    return fallback;
}

bool mendedFlag(const QSettings& store, SettingKey id)
{
    const Setting& row = setting(id);
    Q_ASSERT(row.type == SettingType::Boolean || row.type == SettingType::CheckState);
    const bool fallback = defaultValue(row).toBool();
    const QString text = storedText(store, id);
    if (text.trimmed().isEmpty())
        return fallback;
    const QVariant value = parseFlag(text);
    if (value.isValid())
        return value.toBool();
    const bool checkState = row.type == SettingType::CheckState;
    reportMended(
        store, id, text, checkState ? "is not a check state (0 or 2)" : "is not true or false",
        checkState ? QString::number(fallback ? 2 : 0) : QString(fallback ? "true" : "false"));
    return fallback;
}

void forgetReportedValues()
{
    const std::lock_guard<std::mutex> lock(reportMutex());
    reportedValues().clear();
}

} // namespace settings
