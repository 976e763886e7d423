#include "tests/support/ManagerPolling.h"

#include <QSettings>
#include <QTemporaryDir>

namespace managertest {

QCoreApplication& app()
{
    static int argc = 1;
    static char name[] = "orvane-test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);
    static QTemporaryDir settingsDir;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
    return application;
}

} // namespace managertest
