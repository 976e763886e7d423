#include "tests/support/LinkTestSupport.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <thread>

#include <poll.h>
#include <sys/stat.h>

#include "orvane/Protocol.h"

namespace linktest {

namespace {

// Each test process gets its own runtime directory, so that its marker lock
// is its own even when test processes run side by side.
const std::string runtimeDirectory = [] {
    char path[] = "/tmp/orvane-net-test-XXXXXX";
    if (!::mkdtemp(path))
        return std::string();
    ::setenv("XDG_RUNTIME_DIR", path, 1);
    std::atexit([] {
        const char* directory = std::getenv("XDG_RUNTIME_DIR");
        if (!directory)
            return;
        ::unlink(TCPServer::lockFilePath().c_str());
        ::rmdir(directory);
    });
    return std::string(path);
}();

} // namespace

std::atomic<int> LinkTest::shows{0};

bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

GNP2::SocketHandle connectRaw(int port)
{
    GNP2::SocketHandle socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    const int result =
        ::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
    EXPECT_EQ(result, 0) << std::strerror(errno);
    GNP2::setNoDelay(socket.get());
    return socket;
}

void sendBytes(int fd, const std::vector<unsigned char>& bytes)
{
    ASSERT_EQ(GNP2::sendAll(fd, bytes.data(), bytes.size()), 0);
}

std::string localAddress(int fd)
{
    sockaddr_in address{};
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    return GNP2::formatAddress(address);
}

bool closedByPeer(int fd, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    unsigned char scratch[4096];
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0)
            continue;
        const ssize_t n = ::recv(fd, scratch, sizeof scratch, 0);
        if (n == 0 || (n < 0 && errno == ECONNRESET))
            return true;
    }
    return false;
}

std::vector<unsigned char> frameOf(GNP2::Packet& packet)
{
    std::vector<unsigned char> bytes(packet.serializedSize());
    packet.serialize(bytes.data());
    return bytes;
}

std::unique_ptr<GNP2::Packet> numberedPacket(int objectNumber, float value)
{
    auto packet = std::make_unique<GNP2::Packet>();
    packet->setHeader(
        GNP2::makeHeader(static_cast<std::uint32_t>(objectNumber), orvane::kind::Time));
    // Item 1, which a time packet does not have: the link carries items
    // without reading them, and these packets test only the link.
    packet->setFloatVector(1, {value});
    return packet;
}

std::vector<console::LogLine> linesWith(const std::string& text)
{
    std::vector<console::LogLine> found;
    for (const console::LogLine& line : console::Log::instance().snapshot())
        if (line.text.find(text) != std::string::npos)
            found.push_back(line);
    return found;
}

bool waitForLine(const std::string& text, std::chrono::milliseconds timeout)
{
    return eventually([&] { return !linesWith(text).empty(); }, timeout);
}

void LinkTest::SetUp()
{
    ASSERT_FALSE(runtimeDirectory.empty());
    console::Log& log = console::Log::instance();
    log.setEchoToStderr(false);
    log.clear();
    shows = 0;
    log.setShowListener([] { ++shows; });
}

void LinkTest::TearDown()
{
    server.reset();
    console::Log::instance().setShowListener({});
}

void LinkTest::startServer(bool enable)
{
    server = std::make_unique<TCPServer>(0, receiveRing, sendRing);
    ASSERT_TRUE(server->waitUntilListening(10s));
    ASSERT_GT(server->port(), 0);
    if (enable)
        server->setEnabled(true);
}

std::vector<std::unique_ptr<GNP2::Packet>> LinkTest::receive(std::size_t count)
{
    std::vector<std::unique_ptr<GNP2::Packet>> packets;
    eventually([&] {
        while (GNP2::Packet* packet = receiveRing.pop())
            packets.emplace_back(packet);
        return packets.size() >= count;
    });
    return packets;
}

} // namespace linktest
