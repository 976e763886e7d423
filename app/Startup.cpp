#include "app/Startup.h"

#include "settings/Settings.h"

#include <cctype>
#include <climits>

namespace startup {

namespace {

// The decimal number at the start of `text`; 0 when it starts otherwise.
// Saturates instead of overflowing on absurdly long digit strings.
int leadingNumber(const std::string& text)
{
    long long value = 0;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c)))
            break;
        value = value * 10 + (c - '0');
        if (value > INT_MAX)
            return INT_MAX;
    }
    return int(value);
}

} // namespace

int scanPortArguments(const std::vector<std::string>& arguments, int port)
{
    for (std::size_t i = 1; i + 1 < arguments.size(); ++i)
        if (arguments[i] == "-tcp")
            port = leadingNumber(arguments[i + 1]);
    return port;
}

int storedPort()
{
    return settings::mendedInteger(settings::openSettings(), settings::SettingKey::TcpPort);
}

int portFromSettingsAndArguments(int argc, char** argv)
{
    return scanPortArguments(std::vector<std::string>(argv, argv + argc), storedPort());
}

} // namespace startup
