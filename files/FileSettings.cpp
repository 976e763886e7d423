#include "files/FileSettings.h"

#include <QString>

#include <mutex>

#include "settings/Settings.h"

namespace filesettings {
namespace {

std::mutex& storeMutex()
{
    static std::mutex mutex;
    return mutex;
}

} // namespace

std::string searchDirectory()
{
    const std::lock_guard<std::mutex> lock(storeMutex());
    const QSettings store = settings::openSettings();
    return settings::textSetting(store, settings::SettingKey::AddSearchDir).toStdString();
}

std::int32_t sizeLimit()
{
    const std::lock_guard<std::mutex> lock(storeMutex());
    using settings::SettingKey;
    QSettings store = settings::openSettings();
    const QString key = settings::keyName(SettingKey::MaxFileSizeDuplicated);
    // Unlike the other settings, an unusable value is not only read as the
    // default but replaced by it in the store.
    if (settings::storedValue(store, key).toInt() == 0) {
        settings::setSettingValue(store, key,
                                  settings::defaultValue(SettingKey::MaxFileSizeDuplicated));
        store.sync();
    }
    // Below 1 (a negative size) is mended to 1 and reported.
    return settings::mendedInteger(store, SettingKey::MaxFileSizeDuplicated);
}

} // namespace filesettings
