#include "app/Startup.h"

#include <QSettings>
#include <QString>
#include <QStringList>

#include "log/Log.h"

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
    const QString key = "Network/TcpPort";
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, "Pellam", "Orvane");
    // The exact spelling first, then any other spelling of the same key.
    QString found = settings.contains(key) ? key : QString();
    for (const QString& candidate : settings.allKeys())
        if (found.isEmpty() && candidate.compare(key, Qt::CaseInsensitive) == 0)
            found = candidate;
    if (found.isEmpty())
        return DEFAULT_PORT;
    bool ok = false;
    const int port = settings.value(found).toString().trimmed().toInt(&ok);
    if (ok)
        return port;
    console::writeLine(console::LEVEL_8, "[Orvane] The setting " + found.toStdString() +
                                             " is not a port number; using " +
                                             std::to_string(DEFAULT_PORT));
    return DEFAULT_PORT;
}

int portFromSettingsAndArguments(int argc, char** argv)
{
    return scanPortArguments(std::vector<std::string>(argv, argv + argc), storedPort());
}

} // namespace startup
