#include "files/FileSettings.h"

#include <QSettings>
#include <QString>

#include <mutex>

namespace filesettings {
namespace {

std::mutex& storeMutex()
{
    static std::mutex mutex;
    return mutex;
}

QSettings openStore()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, "Pellam", "Orvane");
}

const QString SEARCH_DIR_KEY = QStringLiteral("FileObjects/AddSearchDir");
const QString SIZE_LIMIT_KEY = QStringLiteral("FileObjects/maxFileSizeDuplicated");

} // namespace

std::string searchDirectory()
{
    const std::lock_guard<std::mutex> lock(storeMutex());
    QSettings store = openStore();
    return store.value(SEARCH_DIR_KEY, QString()).toString().toStdString();
}

std::int32_t sizeLimit()
{
    const std::lock_guard<std::mutex> lock(storeMutex());
    QSettings store = openStore();
    if (store.value(SIZE_LIMIT_KEY, 0).toInt() == 0) {
        store.setValue(SIZE_LIMIT_KEY, DEFAULT_SIZE_LIMIT);
        store.sync();
    }
    return store.value(SIZE_LIMIT_KEY, 0).toInt();
}

} // namespace filesettings
