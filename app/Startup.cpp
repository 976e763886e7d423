#include "app/Startup.h"

#include "settings/Settings.h"

namespace startup {

int storedPort()
{
    return settings::mendedInteger(settings::openSettings(), settings::SettingKey::TcpPort);
}

int listeningPort(const commandline::CommandLine& commandLine)
{
    return commandLine.port ? *commandLine.port : storedPort();
}

} // namespace startup
