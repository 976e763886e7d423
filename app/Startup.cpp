#include "app/Startup.h"

#include <QString>

#include "log/Log.h"
#include "settings/Settings.h"

namespace startup {

int storedPort()
{
    const QSettings store = settings::openSettings();
    bool ok = true;
    int port = settings::integerSetting(store, settings::SettingKey::TcpPort, &ok);
    const settings::Setting& row = settings::setting(settings::SettingKey::TcpPort);
    if (ok && (port < row.minimum || port > row.maximum)) {
        ok = false;
        port = settings::defaultValue(settings::SettingKey::TcpPort).toInt();
    }
    if (!ok) {
        const QString key =
            settings::storedKey(store, settings::keyName(settings::SettingKey::TcpPort));
        console::writeLine(console::LEVEL_8, "[Orvane] The setting " + key.toStdString() +
                                                 " is not a port number; using " +
                                                 std::to_string(port));
    }
    return port;
}

int listeningPort(const commandline::CommandLine& commandLine)
{
    return commandLine.port ? *commandLine.port : storedPort();
}

} // namespace startup
