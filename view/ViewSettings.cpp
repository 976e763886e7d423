#include "view/ViewSettings.h"

#include <algorithm>

#include <QSettings>
#include <QString>
#include <QVariant>

#include "view/ViewParameters.h"

namespace view {

namespace {

QSettings openStore()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, "Pellam", "Orvane");
}

// The value of a key spelled in any letter case, or `fallback`.
QVariant valueOf(const QSettings& store, const QString& key, const QVariant& fallback)
{
    if (store.contains(key))
        return store.value(key);
    const QStringList keys = store.allKeys();
    for (const QString& candidate : keys)
        if (candidate.compare(key, Qt::CaseInsensitive) == 0)
            return store.value(candidate);
    return fallback;
}

double numberOf(const QSettings& store, const QString& key, double fallback)
{
    bool ok = false;
    const double value = valueOf(store, key, fallback).toDouble(&ok);
    return ok ? value : fallback;
}

int colourByte(const QSettings& store, const QString& key, int fallback)
{
    bool ok = false;
    const int value = valueOf(store, key, fallback).toInt(&ok);
    return ok ? std::clamp(value, 0, 255) : fallback;
}

} // namespace

osg::Vec4f standardBackgroundColour()
{
    const QSettings store = openStore();
    return colourFromBytes(colourByte(store, "StandardBackGroundColor/Red", 0),
                           colourByte(store, "StandardBackGroundColor/Green", 0),
                           colourByte(store, "StandardBackGroundColor/Blue", 128));
}

bool noClipSetting()
{
    const QSettings store = openStore();
    return valueOf(store, "Ruskel/noClip", false).toBool();
}

CameraHomeSettings cameraHomeSettings()
{
    const QSettings store = openStore();
    CameraHomeSettings settings;
    const QVariant automatic =
        valueOf(store, "Camera/AutoCalculateHomePosition/autoCalculate", true);
    settings.autoCalculate = automatic.toString().isEmpty() || automatic.toBool();
    settings.standardPosition.set(numberOf(store, "Camera/StandardPosition/X", 1.0),
                                  numberOf(store, "Camera/StandardPosition/Y", -1.0),
                                  numberOf(store, "Camera/StandardPosition/Z", 1.0));
    return settings;
}

} // namespace view
