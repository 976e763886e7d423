#include "view/ViewSettings.h"

#include "settings/Settings.h"
#include "view/ViewParameters.h"

namespace view {

using settings::SettingKey;

osg::Vec4f standardBackgroundColour()
{
    const QSettings store = settings::openSettings();
    return colourFromBytes(settings::mendedInteger(store, SettingKey::BackgroundRed),
                           settings::mendedInteger(store, SettingKey::BackgroundGreen),
                           settings::mendedInteger(store, SettingKey::BackgroundBlue));
}

bool noClipSetting()
{
    return settings::mendedFlag(settings::openSettings(), SettingKey::NoClip);
}

CameraHomeSettings cameraHomeSettings()
{
    const QSettings store = settings::openSettings();
    CameraHomeSettings home;
    home.autoCalculate = settings::mendedFlag(store, SettingKey::AutoCalculateHomePosition);
    home.standardPosition.set(settings::mendedReal(store, SettingKey::StandardPositionX),
                              settings::mendedReal(store, SettingKey::StandardPositionY),
                              settings::mendedReal(store, SettingKey::StandardPositionZ));
    return home;
}

SpaceMouseSettings spaceMouseSettings()
{
    const QSettings store = settings::openSettings();
    SpaceMouseSettings spaceMouse;
    spaceMouse.useSpaceMouse = settings::mendedFlag(store, SettingKey::UseSpaceMouse);
    spaceMouse.movementSpeed = settings::mendedReal(store, SettingKey::SpaceMouseMovementSpeed);
    spaceMouse.rotationSpeed = settings::mendedReal(store, SettingKey::SpaceMouseRotationSpeed);
    return spaceMouse;
}

} // namespace view
