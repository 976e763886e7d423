#include "net/TCPServer.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <system_error>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

#include "log/Log.h"
#include "gnp2/Packet.h"
#include "gnp2/ReservedItems.h"
#include "gnp2/FrameReader.h"

namespace {

constexpr std::string_view PREFIX = "[TCPServer] ";

void report(int level, const std::string& text, bool showConsole = false)
{
    console::writeLine(level, std::string(PREFIX) + text);
    if (showConsole)
        console::show();
}

std::string errorText(int error)
{
    return std::strerror(error);
}

// Takes the process-wide marker lock the first time a server listens; the
// descriptor stays open (and the lock held) until the process ends. Another
// viewer already holding it is no error: the marker only tells other programs
// that a viewer runs.
void holdLockFile()
{
    static const bool held = [] {
        const int fd =
            ::open(TCPServer::lockFilePath().c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0)
            return false;
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd);
            return false;
        }
        return true;
    }();
    (void)held;
}

// Reports a repeated problem of one connection at most once a second, with
// the number of occurrences and the latest detail; the rest is reported when
// the connection ends.
class ThrottledReport
{
public:
    explicit ThrottledReport(std::string what) : _what(std::move(what)) {}

    void note(const std::string& peer, const std::string& detail)
    {
        ++_count;
        _lastDetail = detail;
        const auto now = std::chrono::steady_clock::now();
        if (!_reported || now - _lastReport >= std::chrono::seconds(1))
            flush(peer);
    }

    void flush(const std::string& peer)
    {
        if (_count == 0)
            return;
        report(console::LEVEL_32,
               "Dropped " + std::to_string(_count) + " " + _what + " from " + peer +
                   " (last: " + _lastDetail + ")",
               true);
        _count = 0;
        _reported = true;
        _lastReport = std::chrono::steady_clock::now();
    }

private:
    std::string _what;
    long long _count = 0;
    std::string _lastDetail;
    bool _reported = false;
    std::chrono::steady_clock::time_point _lastReport;
};

} // namespace

// One accepted connection. Its receive thread closes the socket at the end
// (see the header comment); the listener joins both threads later.
struct TCPServer::Connection
{
    // Set before the threads start; the receive thread shuts it down and
    // closes it after taking the connection out of the socket list.
    GNP2::SocketHandle socket;
    // Wakes the send thread from its wait for room in the socket; set
    // before the threads start.
    GNP2::SocketHandle wake;
    std::string peer;         // "a.b.c.d:port"; set before the threads start
    std::uint64_t number = 0; // its place in the order of connections; set before the threads start
    std::atomic<bool> ending{false};       // set under _stateMutex by disconnect()
    std::atomic<bool> receiveEnded{false}; // set under _stateMutex by the receive thread
    std::atomic<bool> senderDone{false};   // set under _stateMutex by the send thread at its end
    std::atomic<bool> finished{false};     // set under _stateMutex by the receive thread at its end
    // The socket error the send thread met (it takes the error off the
    // socket, so the receive thread may then read a plain end); atomic:
    // written by the send thread before senderDone.
    std::atomic<int> sendError{0};
    Thread receiver; // listener thread (and destructor) only
    Thread sender;   // listener thread (and destructor) only
};

TCPServer::TCPServer(int port, PacketRing& receiveRing, PacketRing& sendRing)
    : _requestedPort(port), _receiveRing(receiveRing), _sendRing(sendRing)
{
    int wake[2];
    if (::pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0)
        throw std::system_error(errno, std::generic_category(), "TCPServer: cannot create a pipe");
    _wakeRead.reset(wake[0]);
    _wakeWrite.reset(wake[1]);
    _listenerThread = Thread(0, [this] { listenLoop(); });
}

TCPServer::~TCPServer()
{
    {
        std::lock_guard lock(_stateMutex);
        _stopping = true;
    }
    _stateChanged.notify_all();
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(_wakeWrite.get(), &byte, 1);
    _listenerThread.join();
    {
        std::lock_guard lock(_mutex);
        for (Connection* connection : _sockets)
            ::shutdown(connection->socket.get(), SHUT_RDWR);
    }
    _receiveRing.wakeAll();
    _sendRing.wakeAll();
    reapConnection();
}

TCPServer::Connections TCPServer::connections() const
{
    // Ended first: a connection counts as started before it can end, so the
    // pair read this way never shows more ended than started.
    Connections counted;
    counted.ended = _ended.load();
    counted.started = _started.load();
    return counted;
}

void TCPServer::setEnabled(bool enabled, std::uint64_t upTo)
{
    {
        std::lock_guard lock(_stateMutex);
        _enabled = enabled;
        _enabledUpTo = upTo;
    }
    _stateChanged.notify_all();
    _sendRing.wakeAll();
}

void TCPServer::disconnect()
{
    {
        std::lock_guard lock(_stateMutex);
        if (_disconnecting.exchange(true))
            return;
    }
    // Only the connections up now: the flag below is not what ends them, so
    // a simulation that reconnects during the pause stays connected.
    {
        std::lock_guard lock(_mutex);
        while (!_sockets.empty()) {
            Connection* connection = _sockets.back();
            {
                std::lock_guard stateLock(_stateMutex);
                connection->ending = true;
            }
            ::shutdown(connection->socket.get(), SHUT_RDWR);
            _sockets.pop_back();
        }
    }
    _stateChanged.notify_all();
    _receiveRing.wakeAll();
    _sendRing.wakeAll();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    _disconnecting = false;
}

bool TCPServer::waitUntilListening(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(_stateMutex);
    return _stateChanged.wait_for(lock, timeout, [&] { return _listening.load(); });
}

bool TCPServer::sleepUnlessStopping(std::chrono::milliseconds duration)
{
    std::unique_lock lock(_stateMutex);
    return !_stateChanged.wait_for(lock, duration, [&] { return _stopping.load(); });
}

std::string TCPServer::reasonText(int error)
{
    switch (error) {
    case 0:
        return "gracefull shutdown";
    case ENETDOWN:
        return "Network is down.";
    case ENETUNREACH:
        return "Network is unreachable.";
    case ENETRESET:
        return "Network dropped connection on reset.";
    case ECONNABORTED:
        return "Software caused connection abort.";
    case ECONNRESET:
        return "Connection reset by peer.";
    case ENOBUFS:
        return "No buffer space available.";
    case ETIMEDOUT:
        return "Connection timed out.";
    default:
        return "Unknown error code: " + std::to_string(error);
    }
}

std::string TCPServer::lockFilePath()
{
    const char* directory = std::getenv("XDG_RUNTIME_DIR");
    return std::string(directory && *directory ? directory : "/tmp") + "/PellamOrvane.lock";
}

// ---- listener thread -------------------------------------------------------

std::string TCPServer::openListener()
{
    GNP2::SocketHandle socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!socket.valid())
        return "socket creation failed: " + errorText(errno);
    const int on = 1;
    ::setsockopt(socket.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(static_cast<std::uint16_t>(_requestedPort));
    if (::bind(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return "bind failed: " + errorText(errno);
    if (::listen(socket.get(), 8) != 0)
        return "listen failed: " + errorText(errno);
    socklen_t length = sizeof address;
    ::getsockname(socket.get(), reinterpret_cast<sockaddr*>(&address), &length);
    _listener = std::move(socket);
    holdLockFile();
    {
        std::lock_guard lock(_stateMutex);
        _boundPort = ntohs(address.sin_port);
        _listening = true;
    }
    _stateChanged.notify_all();
    return {};
}

void TCPServer::listenLoop()
{
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 5); // below normal
    std::string lastFailure;
    while (!_stopping) {
        if (!_listener.valid()) {
            const std::string failure = openListener();
            if (!failure.empty()) {
                // A taken port is common (another viewer runs): say so once,
                // then try again quietly until it is free.
                if (failure != lastFailure)
                    report(console::LEVEL_32,
                           "Cannot listen on port " + std::to_string(_requestedPort) + ": " +
                               failure + ". Retrying every 2 seconds.",
                           true);
                lastFailure = failure;
                sleepUnlessStopping(LISTEN_RETRY_INTERVAL);
                continue;
            }
            if (!lastFailure.empty())
                report(console::LEVEL_2, "Listening on port " + std::to_string(port()));
            lastFailure.clear();
        }
        pollfd fds[2] = {{_listener.get(), POLLIN, 0}, {_wakeRead.get(), POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR) {
            report(console::LEVEL_32, "Waiting for connections failed: " + errorText(errno), true);
            sleepUnlessStopping(LISTEN_RETRY_INTERVAL);
            continue;
        }
        if (_stopping)
            break;
        if (fds[0].revents)
            acceptConnection();
    }
}

void TCPServer::acceptConnection()
{
    sockaddr_in address{};
    socklen_t length = sizeof address;
    GNP2::SocketHandle socket(
        ::accept4(_listener.get(), reinterpret_cast<sockaddr*>(&address), &length, SOCK_CLOEXEC));
    if (!socket.valid()) {
        const int error = errno;
        if (error == EINTR || error == EAGAIN || error == ECONNABORTED)
            return;
        // Out of descriptors or memory: the connection stays in the backlog,
        // so wait instead of spinning on it, and say so once per cause.
        if (error != _lastAcceptError)
            report(console::LEVEL_32,
                   "Accepting a connection failed: " + errorText(error) +
                       ". Retrying every 2 seconds.",
                   true);
        _lastAcceptError = error;
        sleepUnlessStopping(LISTEN_RETRY_INTERVAL);
        return;
    }
    _lastAcceptError = 0;
    const std::string peer = GNP2::formatAddress(address);
    if (!previousConnectionLeaving()) {
        report(console::LEVEL_4,
               "Refused connection from " + peer + ": a simulation is already connected");
        return; // closes the socket
    }
    // A simulation that reconnects at once finds its previous connection
    // still being read to its end: it waits in line (its bytes wait in the
    // socket) instead of being refused.
    waitForPreviousConnection();
    if (_stopping)
        return;
    reapConnection();
    GNP2::setNoDelay(socket.get());

    auto connection = std::make_unique<Connection>();
    connection->peer = peer;
    connection->wake.reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!connection->wake.valid()) {
        report(console::LEVEL_32, "Cannot serve " + peer + ": " + errorText(errno), true);
        return;
    }
    connection->socket = std::move(socket);
    Connection* raw = connection.get();
    {
        std::lock_guard lock(_mutex);
        _sockets.push_back(raw);
    }
    // Counted before the threads start, so that a connection that ends at
    // once never makes the count negative.
    ++_clientCount;
    raw->number = ++_started;
    try {
        connection->receiver = Thread(RECEIVE_STACK_SIZE, [this, raw] { receiveLoop(*raw); });
    } catch (const std::system_error& error) {
        report(console::LEVEL_32, "Cannot serve " + peer + ": " + error.what(), true);
        {
            std::lock_guard lock(_mutex);
            _sockets.erase(std::remove(_sockets.begin(), _sockets.end(), raw), _sockets.end());
        }
        --_clientCount;
        ++_ended;
        return;
    }
    try {
        connection->sender = Thread(0, [this, raw] { sendLoop(*raw); });
    } catch (const std::system_error& error) {
        // Without a send thread the link is useless: end the receive thread too.
        report(console::LEVEL_32, "Cannot serve " + peer + ": " + error.what(), true);
        {
            std::lock_guard lock(_stateMutex);
            raw->senderDone = true;
            raw->ending = true;
        }
        _stateChanged.notify_all();
        std::lock_guard lock(_mutex);
        if (std::find(_sockets.begin(), _sockets.end(), raw) != _sockets.end())
            ::shutdown(raw->socket.get(), SHUT_RDWR);
    }
    _connection = std::move(connection);
}

bool TCPServer::previousConnectionLeaving()
{
    if (!_connection)
        return true;
    // The peer's close usually arrives before its next connection does; on
    // a busy machine it may come a moment later.
    const auto limit = std::chrono::steady_clock::now() + PEER_CLOSE_GRACE;
    for (;;) {
        {
            std::lock_guard lock(_mutex);
            const bool open =
                std::find(_sockets.begin(), _sockets.end(), _connection.get()) != _sockets.end();
            if (!open || _connection->ending.load() || _connection->receiveEnded.load())
                return true;
            // The socket is open while it is in the list.
            pollfd peer{_connection->socket.get(), POLLRDHUP, 0};
            if (::poll(&peer, 1, 0) > 0 && (peer.revents & (POLLRDHUP | POLLHUP | POLLERR)))
                return true;
        }
        if (std::chrono::steady_clock::now() >= limit || !sleepUnlessStopping(PEER_CLOSE_POLL))
            return false;
    }
}

void TCPServer::waitForPreviousConnection()
{
    if (!_connection)
        return;
    std::unique_lock lock(_stateMutex);
    _stateChanged.wait(lock, [&] { return _connection->finished.load() || _stopping.load(); });
}

void TCPServer::reapConnection()
{
    if (!_connection)
        return;
    {
        std::lock_guard lock(_mutex);
        _sockets.erase(std::remove(_sockets.begin(), _sockets.end(), _connection.get()),
                       _sockets.end());
    }
    _connection->receiver.join();
    _connection->sender.join();
    _connection.reset();
}

// ---- connection threads ----------------------------------------------------

void TCPServer::waitForStart(const Connection& connection)
{
    std::unique_lock lock(_stateMutex);
    _stateChanged.wait(lock, [&] {
        return admitted(connection) || _stopping.load() || connection.ending.load() ||
               connection.receiveEnded.load();
    });
}

bool TCPServer::admitted(const Connection& connection) const
{
    return _enabled.load() && connection.number <= _enabledUpTo.load();
}

bool TCPServer::running(const Connection& connection) const
{
    return admitted(connection) && !_stopping.load() && !connection.ending.load() &&
           !connection.receiveEnded.load();
}

void TCPServer::receiveLoop(Connection& connection)
{
    GNP2::FrameReader reader;
    const int fd = connection.socket.get();
    report(console::LEVEL_2, "Connection extablished with client: " + connection.peer);
    waitForStart(connection);

    ThrottledReport malformed("malformed frame(s)");
    std::unique_ptr<GNP2::Packet> spare; // a packet left empty by a failed parse
    int room = 0; // packets that can be queued before the level must be looked at again
    int error = 0;
    std::string protocolError;
    while (running(connection)) {
        const GNP2::FrameReader::Next frame = reader.next();
        switch (frame.status) {
        case GNP2::FrameReader::Status::Frame: {
            GNP2::Packet* packet = spare ? spare.release() : new GNP2::Packet;
            const GNP2::ParseResult parsed = packet->parse(frame.body, frame.bodyLength);
            if (!parsed.ok()) {
                spare.reset(packet);
                malformed.note(connection.peer, parsed.error);
                continue;
            }
            GNP2::setConnection(*packet, _connectionNumber);
            _receiveRing.push(packet);
            waitForRoom(connection, room);
            continue;
        }
        case GNP2::FrameReader::Status::TooShort:
            protocolError = "frame length " + std::to_string(frame.lengthWord) +
                            " is below the minimum of " +
                            std::to_string(GNP2::FrameReader::MIN_FRAME);
            break;
        case GNP2::FrameReader::Status::TooLong:
            protocolError = "frame length " + std::to_string(frame.lengthWord) +
                            " announces a body of " + std::to_string(frame.lengthWord - 4) +
                            " bytes, more than the " + std::to_string(BUFFER_SIZE) + "-byte buffer";
            break;
        case GNP2::FrameReader::Status::NeedMore: {
            const GNP2::FrameReader::Space space = reader.prepareRead();
            const ssize_t received = ::recv(fd, space.data, space.size, 0);
            if (received > 0) {
                reader.commit(std::size_t(received));
                continue;
            }
            if (received < 0 && errno == EINTR)
                continue;
            error = received < 0 ? errno : 0;
            break;
        }
        }
        break;
    }

    malformed.flush(connection.peer);
    endConnection(connection, error, protocolError);
}

void TCPServer::waitForRoom(const Connection& connection, int& room)
{
    // Only this thread fills the ring, so after the level was seen below the
    // mark by `room` packets, that many more pushes cannot reach it. Looking
    // at the level reads the scene's index, which the scene writes with every
    // packet it takes; looking once per batch keeps that memory from moving
    // between the two processors for every packet.
    if (room > 0) {
        --room;
        return;
    }
    // Flow control: read nothing more while the scene is behind. The thread
    // waits to be woken by the scene's next take (after a brief look), so it
    // keeps no processor busy while it waits; the scene's pass in turn waits
    // for this thread while it refills, so the two take turns where they
    // share a processor.
    for (;;) {
        const int level = _receiveRing.size();
        if (level < FLOW_CONTROL_LEVEL) {
            room = FLOW_CONTROL_LEVEL - 1 - level;
            return;
        }
        if (!running(connection))
            return;
        _receiveRing.waitBelow(FLOW_CONTROL_LEVEL, std::chrono::milliseconds(1));
    }
}

void TCPServer::endConnection(Connection& connection, int error, const std::string& protocolError)
{
    // Stop the send thread and wait for it: it may have met the socket's
    // error first (a reset while writing), and then holds the reason.
    {
        std::lock_guard lock(_stateMutex);
        connection.receiveEnded = true;
    }
    _stateChanged.notify_all();
    _sendRing.wakeAll();
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t woken = ::write(connection.wake.get(), &one, sizeof one);
    {
        std::unique_lock lock(_stateMutex);
        _stateChanged.wait(lock, [&] { return connection.senderDone.load(); });
    }
    if (error == 0)
        error = connection.sendError.load();

    const std::string line = "Connection with client was interupted: " + connection.peer + " - ";
    if (!protocolError.empty())
        report(console::LEVEL_32, line + protocolError, true);
    else
        report(error == 0 ? console::LEVEL_2 : console::LEVEL_4, line + reasonText(error));

    // Counted as ended before the simulation can see the end, so that a
    // simulation reconnecting at once is served.
    {
        std::lock_guard lock(_mutex);
        _sockets.erase(std::remove(_sockets.begin(), _sockets.end(), &connection), _sockets.end());
    }
    --_clientCount;
    ++_ended;
    {
        std::lock_guard lock(_stateMutex);
        connection.finished = true;
    }
    _stateChanged.notify_all();
    ::shutdown(connection.socket.get(), SHUT_RDWR);
    connection.socket.reset();
}

void TCPServer::sendLoop(Connection& connection)
{
    // Not cleared: only what serialize() wrote is sent.
    const auto buffer = std::make_unique_for_overwrite<unsigned char[]>(BUFFER_SIZE);
    const int number = _connectionNumber;
    waitForStart(connection);

    ThrottledReport misaddressed("packet(s) to send");
    while (running(connection)) {
        if (!_sendRing.front()) {
            _sendRing.waitNotEmpty(std::chrono::milliseconds(10));
            continue;
        }
        const std::unique_ptr<GNP2::Packet> packet(_sendRing.pop());
        // Only connection 0 ever exists and one connection at a time: a
        // packet addressed elsewhere could never leave and would block every
        // packet behind it.
        const int target = GNP2::connectionOf(*packet);
        if (target != number) {
            misaddressed.note(connection.peer,
                              target < 0 ? "item 13 missing"
                                         : "addressed to connection " + std::to_string(target));
            continue;
        }
        const std::size_t size = packet->serializedSize();
        if (size > BUFFER_SIZE) {
            misaddressed.note(connection.peer, std::to_string(size) + "-byte frame exceeds the " +
                                                   std::to_string(BUFFER_SIZE) + "-byte buffer");
            continue;
        }
        const std::size_t length = packet->serialize(buffer.get());
        const int error = sendFrame(connection, buffer.get(), length);
        if (error != 0) {
            // Ends silently; the receive thread reports the connection's end.
            // A reset taken off the socket here is the connection's reason.
            // EPIPE only follows an end already seen (the peer's close, or
            // the receive thread's own error).
            if (error != EPIPE && error != ECANCELED)
                connection.sendError = error;
            break;
        }
    }
    misaddressed.flush(connection.peer);
    {
        std::lock_guard lock(_stateMutex);
        connection.senderDone = true;
    }
    _stateChanged.notify_all();
}

int TCPServer::sendFrame(Connection& connection, const unsigned char* frame, std::size_t length)
{
    const int fd = connection.socket.get();
    while (length > 0) {
        const ssize_t sent = ::send(fd, frame, length, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent >= 0) {
            frame += sent;
            length -= std::size_t(sent);
            continue;
        }
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            return errno;
        // The simulation reads slower than the viewer writes: wait for room,
        // or for the receive thread to say that the connection is over.
        pollfd fds[2] = {{fd, POLLOUT, 0}, {connection.wake.get(), POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR)
            return errno;
        if (fds[1].revents || !running(connection))
            return ECANCELED;
    }
    return 0;
}
