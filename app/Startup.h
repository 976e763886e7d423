#pragma once
// What the program reads before it builds its window: the TCP port.
//
// Threading: GUI thread, before the window exists.

#include <string>
#include <vector>

namespace startup {

// Scans the arguments after the program name: wherever an argument is
// exactly "-tcp" and another follows, the port becomes the decimal number at
// the start of that following argument (0 when it does not start with a
// digit). The last such pair wins; without one, `port` is returned.
int scanPortArguments(const std::vector<std::string>& arguments, int port);

// The stored port: the setting "Network/TcpPort" with the settings table's
// default. The key is found whatever its letter case, since the settings
// dialog writes it as "Network/TCPPort"; the exact spelling wins when both
// exist. A value that is not a whole number gives the default, one outside
// 0-65535 the nearest end; either is reported on the console.
int storedPort();

// The port to listen on: the stored port, overridden by the command line.
int portFromSettingsAndArguments(int argc, char** argv);

} // namespace startup
