#pragma once
// Small POSIX socket helpers shared by the viewer's server and the client
// library. Header-only and beside the packet, so that the client library
// uses the packet library alone and never the server.
//
// Threading: a SocketHandle is owned by one object; the free functions are
// reentrant.

#include <cerrno>
#include <cstddef>
#include <string>
#include <utility>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

namespace GNP2 {

// Owns a file descriptor and closes it.
class SocketHandle
{
public:
    SocketHandle() = default;
    explicit SocketHandle(int fd) : _fd(fd) {}
    ~SocketHandle() { reset(); }
    SocketHandle(SocketHandle&& other) noexcept : _fd(std::exchange(other._fd, -1)) {}
    SocketHandle& operator=(SocketHandle&& other) noexcept
    {
        if (this != &other)
            reset(std::exchange(other._fd, -1));
        return *this;
    }
    SocketHandle(const SocketHandle&) = delete;
    SocketHandle& operator=(const SocketHandle&) = delete;

    int get() const { return _fd; }
    // Gives up ownership without closing.
    int release() { return std::exchange(_fd, -1); }
    bool valid() const { return _fd >= 0; }
    void reset(int fd = -1)
    {
        if (_fd >= 0)
            ::close(_fd);
        _fd = fd;
    }

private:
    int _fd = -1;
};

// Sends every byte, continuing after partial sends and interruptions, without
// raising SIGPIPE. Returns 0, or the errno of the send that failed.
inline int sendAll(int fd, const void* data, std::size_t length)
{
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (length > 0) {
        const ssize_t sent = ::send(fd, bytes, length, MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        bytes += sent;
        length -= std::size_t(sent);
    }
    return 0;
}

// Sends every byte of `count` buffers with as few calls as the kernel allows
// (one, usually). `parts` is consumed as it goes. Returns 0 or the errno.
inline int sendAll(int fd, iovec* parts, int count)
{
    while (count > 0 && parts[0].iov_len == 0) {
        ++parts;
        --count;
    }
    while (count > 0) {
        msghdr message{};
        message.msg_iov = parts;
        message.msg_iovlen = std::size_t(count);
        ssize_t sent = ::sendmsg(fd, &message, MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        while (count > 0 && std::size_t(sent) >= parts[0].iov_len) {
            sent -= ssize_t(parts[0].iov_len);
            ++parts;
            --count;
        }
        if (count > 0) {
            parts[0].iov_base = static_cast<unsigned char*>(parts[0].iov_base) + sent;
            parts[0].iov_len -= std::size_t(sent);
        }
    }
    return 0;
}

// Small frames leave at once instead of waiting for earlier ones to be
// acknowledged.
inline void setNoDelay(int fd)
{
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

// "a.b.c.d:port"
inline std::string formatAddress(const sockaddr_in& address)
{
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    return std::string(text) + ":" + std::to_string(ntohs(address.sin_port));
}

} // namespace GNP2
