#include "view/ViewSettings.h"

#include <algorithm>

#include "settings/Settings.h"
#include "view/ViewParameters.h"

namespace view {

namespace {

using settings::SettingKey;

// A colour component, kept within the row's range 0-255.
int colourByte(const QSettings& store, SettingKey id)
{
    const settings::Setting& row = settings::setting(id);
    return int(
        std::clamp<long long>(settings::integerSetting(store, id), row.minimum, row.maximum));
}

} // namespace

osg::Vec4f standardBackgroundColour()
{
    const QSettings store = settings::openSettings();
    return colourFromBytes(colourByte(store, SettingKey::BackgroundRed),
                           colourByte(store, SettingKey::BackgroundGreen),
                           colourByte(store, SettingKey::BackgroundBlue));
}

bool noClipSetting()
{
    return settings::flagSetting(settings::openSettings(), SettingKey::NoClip);
}

CameraHomeSettings cameraHomeSettings()
{
    const QSettings store = settings::openSettings();
    CameraHomeSettings home;
    home.autoCalculate = settings::flagSetting(store, SettingKey::AutoCalculateHomePosition);
    home.standardPosition.set(settings::realSetting(store, SettingKey::StandardPositionX),
                              settings::realSetting(store, SettingKey::StandardPositionY),
                              settings::realSetting(store, SettingKey::StandardPositionZ));
    return home;
}

} // namespace view
