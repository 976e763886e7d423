#include "client/SimulationClient.h"

#include <cerrno>
#include <cstring>

#include <netdb.h>

#include "gnp2/FrameReader.h"
#include "gnp2/Socket.h"

namespace orvane {

SimulationClient::SimulationClient() = default;

SimulationClient::~SimulationClient()
{
    close();
}

void SimulationClient::connect(const std::string& host, int port)
{
    if (_socket >= 0 && _connected)
        throw ClientError("Already connected to " + _peer);
    close(); // the remains of a link the viewer ended
    const std::string peer = host + ":" + std::to_string(port);
    if (port <= 0 || port > 65535)
        throw ClientError("Cannot connect to " + peer + ": the port must be 1 to 65535");

    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int lookup = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (lookup != 0)
        throw ClientError("Cannot connect to " + peer + ": " + ::gai_strerror(lookup));
    const std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> addresses(found, ::freeaddrinfo);

    // A name may resolve to several addresses (IPv6 first, say); the viewer
    // listens on IPv4, so try each in turn.
    int lastError = 0;
    GNP2::SocketHandle socket;
    for (const addrinfo* a = addresses.get(); a; a = a->ai_next) {
        socket.reset(::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol));
        if (!socket.valid()) {
            lastError = errno;
            continue;
        }
        if (::connect(socket.get(), a->ai_addr, a->ai_addrlen) == 0)
            break;
        lastError = errno;
        socket.reset();
    }
    if (!socket.valid())
        throw ClientError("Cannot connect to " + peer + ": " + std::strerror(lastError));
    GNP2::setNoDelay(socket.get());

    _peer = peer;
    {
        std::lock_guard lock(_mutex);
        _error.clear();
        _received.clear();
    }
    _closing = false;
    _connected = true;
    _socket = socket.get();
    _receiver = std::thread([this] { receiveLoop(); });
    (void)socket.release();
}

bool SimulationClient::isConnected() const
{
    return _connected.load();
}

std::string SimulationClient::error() const
{
    std::lock_guard lock(_mutex);
    return _error;
}

void SimulationClient::ensureOutCapacity(std::size_t needed)
{
    if (needed <= _outCapacity)
        return;
    const std::size_t capacity =
        std::max(needed, std::max<std::size_t>(_outCapacity * 2, 64 << 10));
    auto grown = std::make_unique_for_overwrite<unsigned char[]>(capacity);
    if (_outSize)
        std::memcpy(grown.get(), _out.get(), _outSize);
    _out = std::move(grown);
    _outCapacity = capacity;
}

namespace {

// The viewer closes a connection whose frame body exceeds its 16 MiB buffer;
// refuse such a frame here, where the simulation can still do something about it.
void checkFrameSize(std::size_t frameBytes)
{
    if (frameBytes > GNP2::FrameReader::MAX_BODY + 4)
        throw ClientError("A frame of " + std::to_string(frameBytes) +
                          " bytes exceeds the viewer's limit of " +
                          std::to_string(GNP2::FrameReader::MAX_BODY + 4) + " bytes");
}

} // namespace

void SimulationClient::queue(GNP2::Packet& packet)
{
    const std::size_t size = packet.serializedSize();
    checkFrameSize(size);
    if (_outSize > 0 && _outSize + size > FLUSH_THRESHOLD)
        flush();
    ensureOutCapacity(_outSize + size);
    _outSize += packet.serialize(_out.get() + _outSize);
}

void SimulationClient::queueFrame(const void* frame, std::size_t length)
{
    checkFrameSize(length);
    if (_outSize > 0 && _outSize + length > FLUSH_THRESHOLD)
        flush();
    ensureOutCapacity(_outSize + length);
    std::memcpy(_out.get() + _outSize, frame, length);
    _outSize += length;
}

void SimulationClient::flush()
{
    sendFrames(nullptr, 0);
}

void SimulationClient::sendFrames(const void* frames, std::size_t length)
{
    if (_outSize == 0 && length == 0)
        return;
    if (_socket < 0 || !_connected) {
        const std::string why = error();
        _outSize = 0;
        throw ClientError(_peer.empty() ? std::string("Not connected to a viewer")
                                        : "The link to " + _peer + " is down" +
                                              (why.empty() ? "" : ": " + why));
    }
    iovec parts[2] = {{_out.get(), _outSize}, {const_cast<void*>(frames), length}};
    const int failure = GNP2::sendAll(_socket, parts, 2);
    _outSize = 0;
    if (failure != 0) {
        linkLost(std::strerror(failure));
        throw ClientError("Lost the link to " + _peer + ": " + std::strerror(failure));
    }
}

void SimulationClient::send(GNP2::Packet& packet)
{
    queue(packet);
    flush();
}

std::unique_ptr<GNP2::Packet> SimulationClient::poll()
{
    std::lock_guard lock(_mutex);
    if (_received.empty())
        return nullptr;
    std::unique_ptr<GNP2::Packet> packet = std::move(_received.front());
    _received.pop_front();
    return packet;
}

std::unique_ptr<GNP2::Packet> SimulationClient::waitForPacket(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(_mutex);
    if (!_packetArrived.wait_for(lock, timeout, [&] { return !_received.empty(); }))
        return nullptr;
    std::unique_ptr<GNP2::Packet> packet = std::move(_received.front());
    _received.pop_front();
    return packet;
}

void SimulationClient::close()
{
    if (_socket < 0)
        return;
    if (_connected && _outSize > 0) {
        try {
            flush();
        } catch (const ClientError&) {
            // the link is gone; nothing more to send
        }
    }
    _outSize = 0;
    _closing = true;
    ::shutdown(_socket, SHUT_RDWR); // wakes the receive thread
    if (_receiver.joinable())
        _receiver.join();
    ::close(_socket);
    _socket = -1;
    _connected = false;
    std::lock_guard lock(_mutex);
    _error.clear();
}

void SimulationClient::linkLost(const std::string& why)
{
    {
        std::lock_guard lock(_mutex);
        if (_error.empty())
            _error = why;
    }
    _connected = false;
    _packetArrived.notify_all();
}

void SimulationClient::receiveLoop()
{
    // Answers are small: start with a small buffer, grown only for a large frame.
    GNP2::FrameReader reader(std::size_t(64) << 10, std::size_t(256) << 10, 0);
    for (;;) {
        const GNP2::FrameReader::Next frame = reader.next();
        if (frame.status == GNP2::FrameReader::Status::Frame) {
            auto packet = std::make_unique<GNP2::Packet>();
            if (!packet->parse(frame.body, frame.bodyLength).ok())
                continue; // the viewer never sends one; skip rather than stop
            {
                std::lock_guard lock(_mutex);
                if (_received.size() >= RECEIVE_QUEUE_LIMIT) {
                    _received.pop_front();
                    ++_dropped;
                }
                _received.push_back(std::move(packet));
            }
            _packetArrived.notify_one();
            continue;
        }
        if (frame.status != GNP2::FrameReader::Status::NeedMore) {
            linkLost("the viewer sent a frame length of " + std::to_string(frame.lengthWord));
            return;
        }
        const GNP2::FrameReader::Space space = reader.prepareRead();
        const ssize_t received = ::recv(_socket, space.data, space.size, 0);
        if (received > 0) {
            reader.commit(std::size_t(received));
            continue;
        }
        if (received < 0 && errno == EINTR)
            continue;
        if (!_closing)
            linkLost(received == 0 ? "the viewer closed the connection" : std::strerror(errno));
        else
            _connected = false;
        return;
    }
}

} // namespace orvane
