#pragma once
// A TCP port on the loopback interface that nobody listens on right now: the
// one the system gives a socket bound to port 0, closed again at once.

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testsupport {

inline int freePort()
{
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(s);
    return port;
}

} // namespace testsupport
