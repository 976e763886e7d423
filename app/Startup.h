#pragma once
// What the program reads before it builds its window: the TCP port.
//
// Threading: GUI thread, before the window exists.

#include "app/CommandLine.h"

namespace startup {

// The stored port: the setting "Network/TcpPort" with the settings table's
// default. The key is found whatever its letter case, since the settings
// dialog writes it as "Network/TCPPort"; the exact spelling wins when both
// exist. A value that is not a whole number gives the default, one outside
// 0-65535 the nearest end; either is reported on the console.
int storedPort();

// The port to listen on: the command line's, else the stored one.
int listeningPort(const commandline::CommandLine& commandLine);

} // namespace startup
