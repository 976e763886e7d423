#pragma once
// Tests of settings readers and writers: each test gets a settings store in
// a folder of its own (the user-scope INI path moved there), a fresh log to
// read the reports of mended values from, and those reports start over.

#include <QSettings>
#include <QTemporaryDir>

#include <initializer_list>
#include <utility>

#include "settings/Settings.h"
#include "tests/support/LogFixture.h"

namespace settings_test {

class StoreFixture : public console_test::LogFixture
{
protected:
    void SetUp() override
    {
        LogFixture::SetUp();
        ASSERT_TRUE(_folder.isValid());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, _folder.path());
        settings::forgetReportedValues();
    }

    // Writes the keys as they are spelled, as a hand-edited file or another
    // program holds them.
    static void storeRaw(std::initializer_list<std::pair<QString, QVariant>> values)
    {
        QSettings store = settings::openSettings();
        for (const auto& [key, value] : values)
            store.setValue(key, value);
        store.sync();
        ASSERT_EQ(store.status(), QSettings::NoError);
    }
    static void storeRaw(const QString& key, const QVariant& value) { storeRaw({{key, value}}); }

    QTemporaryDir _folder;
};

} // namespace settings_test
