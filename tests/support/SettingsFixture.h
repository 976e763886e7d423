#pragma once
// Tests of settings readers and writers: each test gets a settings store in
// a folder of its own (the user-scope INI path moved there), a fresh log to
// read the reports of mended values from, and those reports start over.

#include <QSettings>
#include <QTemporaryDir>

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

    QTemporaryDir _folder;
};

} // namespace settings_test
