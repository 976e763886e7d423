#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>

#include <gtest/gtest.h>

#include "client/SimulationClient.h"
#include "orvane/Protocol.h"
#include "tests/support/FrameBuilder.h"
#include "tests/support/LinkTestSupport.h"

namespace linktest {
namespace {

using testing_frames::Body;

std::uint32_t objectOf(const GNP2::Packet& packet)
{
    return GNP2::objectNumber(packet.header());
}

int itemCount(const GNP2::Packet& packet)
{
    int count = 0;
    packet.forEachItem([&](int, const GNP2::Item&) { ++count; });
    return count;
}

// Frames for objects first..first+count-1, each with item 1 = {object}.
std::vector<unsigned char> numberedFrames(int first, int count)
{
    std::vector<unsigned char> bytes;
    for (int i = first; i < first + count; ++i) {
        auto packet = numberedPacket(i, float(i));
        const std::vector<unsigned char> frame = frameOf(*packet);
        bytes.insert(bytes.end(), frame.begin(), frame.end());
    }
    return bytes;
}

void expectNumbered(const std::vector<std::unique_ptr<GNP2::Packet>>& packets, int first)
{
    for (std::size_t i = 0; i < packets.size(); ++i) {
        ASSERT_EQ(objectOf(*packets[i]), std::uint32_t(first) + i) << "packet " << i;
        ASSERT_EQ(packets[i]->getFloatVector(1), std::vector<float>{float(first + int(i))});
        ASSERT_EQ(packets[i]->getIntVector(orvane::item::Connection), std::vector<int>{0});
    }
}

using TCPServerTest = LinkTest;

TEST_F(TCPServerTest, HeaderOnlyFrameYieldsOnlyTheConnectionNumber)
{
    startServer();
    GNP2::SocketHandle client = connectRaw(server->port());
    sendBytes(client.get(), Body(0x0A123456u).frame());
    const auto packets = receive(1);
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0]->header(), 0x0A123456u);
    EXPECT_EQ(itemCount(*packets[0]), 1);
    EXPECT_EQ(packets[0]->getIntVector(orvane::item::Connection), std::vector<int>{0});
}

TEST_F(TCPServerTest, ConnectionNumberReplacesTheSimulationsItem13)
{
    startServer();
    GNP2::SocketHandle client = connectRaw(server->port());
    sendBytes(client.get(),
              Body(3).ints(orvane::item::Connection, {42, 43}).floats(1, {1.5f}).frame());
    const auto packets = receive(1);
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0]->getIntVector(orvane::item::Connection), std::vector<int>{0});
    EXPECT_EQ(packets[0]->getFloatVector(1), std::vector<float>{1.5f});
}

TEST_F(TCPServerTest, FrameSplitOverManySegmentsIsReassembled)
{
    startServer();
    GNP2::SocketHandle client = connectRaw(server->port());
    const std::vector<unsigned char> bytes = numberedFrames(1, 3);
    // Pieces of 1 to 5 bytes, each its own segment (no delay on the socket,
    // and a pause between them).
    std::size_t offset = 0;
    for (int piece = 0; offset < bytes.size(); ++piece) {
        const std::size_t n = std::min<std::size_t>(1 + piece % 5, bytes.size() - offset);
        sendBytes(client.get(), {bytes.begin() + long(offset), bytes.begin() + long(offset + n)});
        offset += n;
        if (piece % 4 == 0)
            std::this_thread::sleep_for(1ms);
    }
    const auto packets = receive(3);
    ASSERT_EQ(packets.size(), 3u);
    expectNumbered(packets, 1);
}

TEST_F(TCPServerTest, FramesInOneSegmentAreDecodedInOrder)
{
    startServer();
    GNP2::SocketHandle client = connectRaw(server->port());
    sendBytes(client.get(), numberedFrames(0, 600));
    const auto packets = receive(600);
    ASSERT_EQ(packets.size(), 600u);
    expectNumbered(packets, 0);
    EXPECT_TRUE(receiveRing.empty());
}

TEST_F(TCPServerTest, LargestBodyIsAccepted)
{
    startServer();
    GNP2::SocketHandle client = connectRaw(server->port());
    // One char item filling the 16 MiB body exactly.
    const std::size_t chars = TCPServer::BUFFER_SIZE - 4 - GNP2::RECORD_HEADER_SIZE;
    std::vector<unsigned char> text(chars, 'x');
    text.back() = 'y';
    const std::vector<unsigned char> frame =
        Body(9).record(2, std::int32_t(chars), GNP2::TYPE_CHAR, text.data(), chars).frame();
    ASSERT_EQ(frame.size(), TCPServer::BUFFER_SIZE + 4);
    std::thread sender([&] { sendBytes(client.get(), frame); });
    const auto packets = receive(1);
    sender.join();
    ASSERT_EQ(packets.size(), 1u);
    const std::string received = packets[0]->getString(2);
    EXPECT_EQ(received.size(), chars);
    EXPECT_EQ(received.back(), 'y');
    EXPECT_EQ(server->clientCount(), 1);
}

TEST_F(TCPServerTest, FlowControlStopsAtSevenHundredFiftyAndResumes)
{
    startServer();
    orvane::SimulationClient client;
    client.connect("127.0.0.1", server->port());
    constexpr int total = 2000;
    // The client blocks once TCP's buffers fill, so it sends from a thread.
    std::thread sender([&] {
        for (int i = 0; i < total; ++i) {
            auto packet = numberedPacket(i % 4096, float(i));
            client.queue(*packet);
        }
        client.flush();
    });
    ASSERT_TRUE(eventually([&] { return receiveRing.size() >= TCPServer::FLOW_CONTROL_LEVEL; }));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(receiveRing.size(), TCPServer::FLOW_CONTROL_LEVEL);

    // One packet taken: the level drops below 750 and the thread reads on,
    // up to 750 again.
    std::vector<std::unique_ptr<GNP2::Packet>> taken;
    taken.emplace_back(receiveRing.pop());
    ASSERT_TRUE(eventually([&] { return receiveRing.size() == TCPServer::FLOW_CONTROL_LEVEL; }));
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(receiveRing.size(), TCPServer::FLOW_CONTROL_LEVEL);

    // Many taken at once: the thread reads a batch without looking at the
    // level for every packet, and must still stop at exactly 750.
    for (int i = 0; i < 300; ++i)
        taken.emplace_back(receiveRing.pop());
    ASSERT_TRUE(eventually([&] { return receiveRing.size() == TCPServer::FLOW_CONTROL_LEVEL; }));
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(receiveRing.size(), TCPServer::FLOW_CONTROL_LEVEL);

    // Draining in steps delivers everything, in order, never above 750.
    int highest = 0;
    ASSERT_TRUE(eventually([&] {
        highest = std::max(highest, receiveRing.size());
        for (int i = 0; i < 100; ++i)
            if (GNP2::Packet* packet = receiveRing.pop())
                taken.emplace_back(packet);
        return taken.size() == std::size_t(total);
    }));
    sender.join();
    EXPECT_LE(highest, TCPServer::FLOW_CONTROL_LEVEL);
    for (int i = 0; i < total; ++i)
        ASSERT_EQ(taken[std::size_t(i)]->getFloatVector(1), std::vector<float>{float(i)});
}

TEST_F(TCPServerTest, NothingIsReadBeforeEnabled)
{
    startServer(false);
    GNP2::SocketHandle client = connectRaw(server->port());
    sendBytes(client.get(), numberedFrames(0, 10));
    ASSERT_TRUE(waitForLine("Connection extablished with client: " + localAddress(client.get())));
    EXPECT_EQ(server->clientCount(), 1);
    std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(receiveRing.empty());

    server->setEnabled(true);
    const auto packets = receive(10);
    ASSERT_EQ(packets.size(), 10u);
    expectNumbered(packets, 0);
}

TEST_F(TCPServerTest, DisconnectWithoutConnectionsOnlyWaits)
{
    startServer();
    const auto start = std::chrono::steady_clock::now();
    server->disconnect();
    EXPECT_GE(std::chrono::steady_clock::now() - start, 100ms);
    EXPECT_FALSE(server->disconnecting());
    EXPECT_EQ(server->clientCount(), 0);
    EXPECT_TRUE(server->enabled());
    EXPECT_TRUE(linesWith("[TCPServer]").empty());

    // Still listening and serving.
    GNP2::SocketHandle client = connectRaw(server->port());
    sendBytes(client.get(), numberedFrames(5, 1));
    EXPECT_EQ(receive(1).size(), 1u);
}

TEST_F(TCPServerTest, SecondDisconnectReturnsWhileTheFirstRuns)
{
    startServer();
    std::thread first([&] { server->disconnect(); });
    ASSERT_TRUE(eventually([&] { return server->disconnecting(); }));
    server->disconnect();
    // Returned without waiting for the first one's 100 ms.
    EXPECT_TRUE(server->disconnecting());
    first.join();
    EXPECT_FALSE(server->disconnecting());
}

TEST_F(TCPServerTest, DisconnectEndsTheConnectionGracefully)
{
    startServer();
    GNP2::SocketHandle client = connectRaw(server->port());
    const std::string peer = localAddress(client.get());
    ASSERT_TRUE(eventually([&] { return server->clientCount() == 1; }));
    server->disconnect();
    EXPECT_TRUE(closedByPeer(client.get()));
    ASSERT_TRUE(eventually([&] { return server->clientCount() == 0; }));
    const auto lines = linesWith("Connection with client was interupted: " + peer);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].text.find(" - gracefull shutdown"), std::string::npos);
    EXPECT_EQ(lines[0].level, console::LEVEL_2);
}

struct EndCase
{
    const char* name;
    bool reset; // abortive close (RST) instead of an orderly one
    const char* reason;
    int level;
};

class ConnectionEnd : public LinkTest, public ::testing::WithParamInterface<EndCase>
{
};

TEST_P(ConnectionEnd, ReportsTheReasonAtItsLevel)
{
    startServer();
    GNP2::SocketHandle client = connectRaw(server->port());
    const std::string peer = localAddress(client.get());
    sendBytes(client.get(), numberedFrames(1, 2));
    ASSERT_EQ(receive(2).size(), 2u);

    const auto established = linesWith("[TCPServer] Connection extablished with client: " + peer);
    ASSERT_EQ(established.size(), 1u);
    EXPECT_EQ(established[0].level, console::LEVEL_2);
    EXPECT_EQ(server->clientCount(), 1);

    if (GetParam().reset) {
        const linger abortive{1, 0};
        ::setsockopt(client.get(), SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    }
    client.reset();
    const std::string expected =
        "[TCPServer] Connection with client was interupted: " + peer + " - " + GetParam().reason;
    ASSERT_TRUE(waitForLine(expected));
    const auto lines = linesWith("was interupted");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text, expected + "\n");
    EXPECT_EQ(lines[0].level, GetParam().level);
    EXPECT_TRUE(eventually([&] { return server->clientCount() == 0; }));
}

INSTANTIATE_TEST_SUITE_P(
    Reasons, ConnectionEnd,
    ::testing::Values(EndCase{"Graceful", false, "gracefull shutdown", console::LEVEL_2},
                      EndCase{"Reset", true, "Connection reset by peer.", console::LEVEL_4}),
    [](const auto& row) { return std::string(row.param.name); });

struct LengthWordCase
{
    const char* name;
    std::uint32_t lengthWord;
    const char* why;
};

class BadLengthWord : public LinkTest, public ::testing::WithParamInterface<LengthWordCase>
{
};

// The stream cannot be resynchronised: the connection closes with a level-32
// line that says why, and what was queued before stays queued.
TEST_P(BadLengthWord, ClosesTheConnectionKeepingWhatCameBefore)
{
    startServer();
    GNP2::SocketHandle client = connectRaw(server->port());
    const std::string peer = localAddress(client.get());
    std::vector<unsigned char> bytes = numberedFrames(1, 2);
    unsigned char word[4];
    GNP2::writeU32(word, GetParam().lengthWord);
    bytes.insert(bytes.end(), word, word + 4);
    bytes.resize(bytes.size() + 64, 0); // whatever follows is never decoded
    sendBytes(client.get(), bytes);

    EXPECT_TRUE(closedByPeer(client.get()));
    ASSERT_TRUE(eventually([&] { return server->clientCount() == 0; }));
    const auto packets = receive(2);
    ASSERT_EQ(packets.size(), 2u);
    expectNumbered(packets, 1);
    EXPECT_TRUE(receiveRing.empty());

    const auto lines = linesWith("was interupted: " + peer);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].text.find(GetParam().why), std::string::npos) << lines[0].text;
    EXPECT_EQ(lines[0].level, console::LEVEL_32);
    // The server shows the console right after it writes the line.
    EXPECT_TRUE(eventually([] { return shows.load() >= 1; }, 10s));
}

INSTANTIATE_TEST_SUITE_P(
    Words, BadLengthWord,
    ::testing::Values(LengthWordCase{"Zero", 0, "frame length 0 is below the minimum of 8"},
                      LengthWordCase{"LengthOnly", 4, "frame length 4 is below the minimum of 8"},
                      LengthWordCase{"Seven", 7, "frame length 7 is below the minimum of 8"},
                      LengthWordCase{
                          "BodyOneByteTooLong", (16u << 20) + 5,
                          "announces a body of 16777217 bytes, more than the 16777216-byte buffer"},
                      LengthWordCase{"AllOnes", 0xFFFFFFFFu, "frame length 4294967295"}),
    [](const auto& row) { return std::string(row.param.name); });

long long droppedIn(const std::vector<console::LogLine>& lines)
{
    long long total = 0;
    for (const console::LogLine& line : lines)
        total += std::stoll(line.text.substr(line.text.find("Dropped ") + 8));
    return total;
}

TEST_F(TCPServerTest, MalformedBodyIsDroppedAndTheConnectionKept)
{
    startServer();
    GNP2::SocketHandle client = connectRaw(server->port());
    const std::string peer = localAddress(client.get());
    const std::vector<unsigned char> badIndex = Body(1).floats(98, {1.0f}).frame();
    const std::vector<unsigned char> badType = Body(1).raw({5, 1, 0, 0, 0, 7, 0, 0, 0, 0}).frame();
    const std::vector<unsigned char> truncated = Body(1).raw({1, 3, 0, 0, 0, 5, 0, 0}).frame();

    std::vector<unsigned char> bytes = numberedFrames(1, 1);
    bytes.insert(bytes.end(), badIndex.begin(), badIndex.end());
    const std::vector<unsigned char> second = numberedFrames(2, 1);
    bytes.insert(bytes.end(), second.begin(), second.end());
    sendBytes(client.get(), bytes);
    const auto first = receive(2);
    ASSERT_EQ(first.size(), 2u);
    expectNumbered(first, 1);
    ASSERT_TRUE(waitForLine("[TCPServer] Dropped 1 malformed frame(s) from " + peer));
    const auto reported = linesWith("malformed frame");
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_NE(reported[0].text.find("item index 98"), std::string::npos) << reported[0].text;
    EXPECT_EQ(reported[0].level, console::LEVEL_32);

    // A burst within the same second: kept quiet, counted, reported with the
    // connection's end at the latest.
    for (int i = 0; i < 3; ++i) {
        sendBytes(client.get(), badType);
        sendBytes(client.get(), truncated);
    }
    sendBytes(client.get(), numberedFrames(3, 1));
    const auto later = receive(1);
    ASSERT_EQ(later.size(), 1u);
    expectNumbered(later, 3);
    EXPECT_EQ(server->clientCount(), 1);

    client.reset();
    ASSERT_TRUE(waitForLine("was interupted: " + peer));
    const auto all = linesWith("malformed frame");
    EXPECT_LE(all.size(), 3u);
    EXPECT_EQ(droppedIn(all), 7);
}

TEST_F(TCPServerTest, SecondSimulationIsRefusedAndTheFirstKeepsWorking)
{
    startServer();
    orvane::SimulationClient first;
    first.connect("127.0.0.1", server->port());
    ASSERT_TRUE(eventually([&] { return server->clientCount() == 1; }));

    GNP2::SocketHandle second = connectRaw(server->port());
    const std::string secondPeer = localAddress(second.get());
    EXPECT_TRUE(closedByPeer(second.get()));
    ASSERT_TRUE(waitForLine("[TCPServer] Refused connection from " + secondPeer));
    EXPECT_EQ(linesWith("Refused connection")[0].level, console::LEVEL_4);
    EXPECT_EQ(server->clientCount(), 1);

    auto packet = numberedPacket(11, 11.0f);
    first.send(*packet);
    const auto packets = receive(1);
    ASSERT_EQ(packets.size(), 1u);
    expectNumbered(packets, 11);

    // Once the first has gone, a new simulation is served.
    first.close();
    ASSERT_TRUE(eventually([&] { return server->clientCount() == 0; }));
    orvane::SimulationClient third;
    third.connect("127.0.0.1", server->port());
    auto next = numberedPacket(12, 12.0f);
    third.send(*next);
    const auto thirdPackets = receive(1);
    ASSERT_EQ(thirdPackets.size(), 1u);
    expectNumbered(thirdPackets, 12);
}

TEST_F(TCPServerTest, TakenPortIsRetriedUntilFree)
{
    GNP2::SocketHandle occupant(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    ASSERT_EQ(::bind(occupant.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(occupant.get(), 1), 0);
    socklen_t length = sizeof address;
    ::getsockname(occupant.get(), reinterpret_cast<sockaddr*>(&address), &length);
    const int port = ntohs(address.sin_port);

    server = std::make_unique<TCPServer>(port, receiveRing, sendRing);
    const std::string failure = "[TCPServer] Cannot listen on port " + std::to_string(port);
    ASSERT_TRUE(waitForLine(failure));
    const auto lines = linesWith(failure);
    EXPECT_NE(lines[0].text.find("Address already in use"), std::string::npos) << lines[0].text;
    EXPECT_EQ(lines[0].level, console::LEVEL_32);
    // The server shows the console right after it writes the line.
    EXPECT_TRUE(eventually([] { return shows.load() >= 1; }, 10s));
    EXPECT_FALSE(server->listening());

    occupant.reset();
    ASSERT_TRUE(server->waitUntilListening(10s));
    EXPECT_EQ(server->port(), port);
    EXPECT_EQ(linesWith(failure).size(), 1u) << "the failure is reported once, not per retry";
    server->setEnabled(true);
    GNP2::SocketHandle client = connectRaw(port);
    sendBytes(client.get(), numberedFrames(4, 1));
    EXPECT_EQ(receive(1).size(), 1u);
}

TEST_F(TCPServerTest, ListeningHoldsTheMarkerLock)
{
    startServer();
    const std::string path = TCPServer::lockFilePath();
    EXPECT_EQ(path.rfind(std::getenv("XDG_RUNTIME_DIR"), 0), 0u);
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(fd, 0) << path;
    EXPECT_NE(::flock(fd, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(errno, EWOULDBLOCK);
    ::close(fd);
}

TEST_F(TCPServerTest, SendRingPacketsReachTheClient)
{
    startServer();
    orvane::SimulationClient client;
    client.connect("127.0.0.1", server->port());
    ASSERT_TRUE(eventually([&] { return server->clientCount() == 1; }));

    auto stray = numberedPacket(99, 99.0f);
    stray->setIntVector(orvane::item::Connection,
                        {5}); // not this connection's: cannot be delivered
    sendRing.push(stray.release());
    for (int i = 0; i < 50; ++i) {
        auto packet = numberedPacket(i, float(i) * 0.5f);
        packet->setIntVector(orvane::item::Connection, {0});
        sendRing.push(packet.release());
    }
    for (int i = 0; i < 50; ++i) {
        const auto packet = client.waitForPacket(10s);
        ASSERT_NE(packet, nullptr) << "packet " << i;
        EXPECT_EQ(objectOf(*packet), std::uint32_t(i));
        EXPECT_EQ(packet->getFloatVector(1), std::vector<float>{float(i) * 0.5f});
    }
    EXPECT_EQ(client.poll(), nullptr);
    ASSERT_TRUE(waitForLine("Dropped 1 packet(s) to send"));
    EXPECT_NE(linesWith("packet(s) to send")[0].text.find("addressed to connection 5"),
              std::string::npos);
}

enum class StopState
{
    WaitingForEnabled,
    Reading,
    FlowControlled,
    RetryingPort,
};

class ServerStop : public LinkTest, public ::testing::WithParamInterface<StopState>
{
};

// Destroying a server ends every thread it started, whatever they wait on,
// and closes its connections.
TEST_P(ServerStop, EndsEveryThread)
{
    GNP2::SocketHandle occupant;
    if (GetParam() == StopState::RetryingPort) {
        occupant.reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        ASSERT_EQ(::bind(occupant.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ASSERT_EQ(::listen(occupant.get(), 1), 0);
        socklen_t length = sizeof address;
        ::getsockname(occupant.get(), reinterpret_cast<sockaddr*>(&address), &length);
        server = std::make_unique<TCPServer>(ntohs(address.sin_port), receiveRing, sendRing);
        ASSERT_TRUE(waitForLine("Cannot listen on port"));
        server.reset();
        return;
    }
    startServer(GetParam() != StopState::WaitingForEnabled);
    GNP2::SocketHandle client = connectRaw(server->port());
    ASSERT_TRUE(eventually([&] { return server->clientCount() == 1; }));
    if (GetParam() == StopState::FlowControlled) {
        std::thread sender([&] { sendBytes(client.get(), numberedFrames(0, 800)); });
        ASSERT_TRUE(
            eventually([&] { return receiveRing.size() == TCPServer::FLOW_CONTROL_LEVEL; }));
        sender.join();
    }
    server.reset();
    EXPECT_TRUE(closedByPeer(client.get()));
}

std::string stopStateName(const ::testing::TestParamInfo<StopState>& row)
{
    switch (row.param) {
    case StopState::WaitingForEnabled:
        return "WaitingForEnabled";
    case StopState::Reading:
        return "Reading";
    case StopState::FlowControlled:
        return "FlowControlled";
    case StopState::RetryingPort:
        return "RetryingPort";
    }
    return "Unknown";
}

INSTANTIATE_TEST_SUITE_P(States, ServerStop,
                         ::testing::Values(StopState::WaitingForEnabled, StopState::Reading,
                                           StopState::FlowControlled, StopState::RetryingPort),
                         stopStateName);

} // namespace
} // namespace linktest
