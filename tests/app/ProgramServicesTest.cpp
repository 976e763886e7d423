// The services the program hands its objects: the file manager it owns, and
// the deformation back-end read from the settings store whenever a body asks,
// so that a choice saved in the settings dialog reaches the bodies made
// afterwards.

#include <gtest/gtest.h>

#include <QSettings>
#include <QTemporaryDir>

#include "app/ProgramServices.h"
#include "files/FileManager.h"
#include "settings/Settings.h"

TEST(ProgramServices, DeformationChoiceFollowsTheStoreAtEachAsk)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder.path());

    ProgramServices program;
    const ObjectServices services = program.services();
    EXPECT_EQ(services.files, &program.files());
    ASSERT_NE(services.deformation, nullptr);
    EXPECT_EQ(services.deformation->deformationMode(), 0) << "absent: the processor";
    for (const int mode : {2, 1}) {
        QSettings store = settings::openSettings();
        settings::setSettingValue(store, settings::SettingKey::HardwareAcceleration, mode);
        store.sync();
        EXPECT_EQ(services.deformation->deformationMode(), mode);
    }
}
