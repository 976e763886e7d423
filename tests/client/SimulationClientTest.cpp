#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "client/SimulationClient.h"
#include "tests/support/LinkTestSupport.h"

namespace linktest {
namespace {

using SimulationClientTest = LinkTest;

// A port with nothing listening on it.
int closedPort()
{
    GNP2::SocketHandle socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(socket.get(), reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(socket.get(), reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

std::string connectError(const std::string& host, int port)
{
    orvane::SimulationClient client;
    try {
        client.connect(host, port);
    } catch (const orvane::ClientError& error) {
        EXPECT_FALSE(client.isConnected());
        return error.what();
    }
    return "connected";
}

TEST(SimulationClient, ConnectFailuresNameTheViewerAndTheCause)
{
    const int port = closedPort();
    EXPECT_EQ(connectError("127.0.0.1", port),
              "Cannot connect to 127.0.0.1:" + std::to_string(port) + ": Connection refused");
    EXPECT_EQ(connectError("127.0.0.1", 0),
              "Cannot connect to 127.0.0.1:0: the port must be 1 to 65535");
    EXPECT_EQ(connectError("127.0.0.1", 70000),
              "Cannot connect to 127.0.0.1:70000: the port must be 1 to 65535");
}

TEST(SimulationClient, SendingWithoutAConnectionThrows)
{
    orvane::SimulationClient client;
    GNP2::Packet packet;
    EXPECT_THROW(client.send(packet), orvane::ClientError);
    EXPECT_EQ(client.queuedBytes(), 0u) << "a failed flush drops what it could not send";
    EXPECT_EQ(client.poll(), nullptr);
}

TEST(SimulationClient, FramesBeyondTheViewersLimitAreRefused)
{
    orvane::SimulationClient client;
    GNP2::Packet fits;
    fits.setString(2, std::string((16u << 20) - 4 - 6, 'x')); // body of exactly 16 MiB
    client.queue(fits);
    const std::size_t queued = client.queuedBytes();
    EXPECT_EQ(queued, (16u << 20) + 4);

    GNP2::Packet tooLarge;
    tooLarge.setString(2, std::string((16u << 20) - 4 - 5, 'x')); // one byte more
    try {
        client.queue(tooLarge);
        ADD_FAILURE() << "no error for a frame beyond the limit";
    } catch (const orvane::ClientError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "A frame of 16777221 bytes exceeds the viewer's limit of 16777220 bytes");
    }
    EXPECT_EQ(client.queuedBytes(), queued);
}

TEST_F(SimulationClientTest, QueuedFramesLeaveWithFlushInOrder)
{
    startServer();
    orvane::SimulationClient client;
    client.connect("localhost", server->port()); // a name, possibly resolving to ::1 first
    std::size_t expectedBytes = 0;
    for (int i = 0; i < 100; ++i) {
        auto packet = numberedPacket(i, float(i));
        packet->setString(2, std::string(std::size_t(i), 'a'));
        expectedBytes += packet->serializedSize();
        client.queue(*packet);
        EXPECT_FALSE(packet->isChanged(2)) << "queueing serializes and clears the flags";
    }
    EXPECT_EQ(client.queuedBytes(), expectedBytes);
    std::this_thread::sleep_for(20ms);
    EXPECT_TRUE(receiveRing.empty()) << "nothing leaves before flush";

    client.flush();
    EXPECT_EQ(client.queuedBytes(), 0u);
    const auto packets = receive(100);
    ASSERT_EQ(packets.size(), 100u);
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(GNP2::objectNumber(packets[std::size_t(i)]->header()), std::uint32_t(i));
        EXPECT_EQ(packets[std::size_t(i)]->getString(2), std::string(std::size_t(i), 'a'));
    }
}

TEST_F(SimulationClientTest, LargeBatchesAreFlushedOnTheWay)
{
    startServer();
    orvane::SimulationClient client;
    client.connect("127.0.0.1", server->port());
    GNP2::Packet big;
    big.setFloatVector(5, std::vector<float>(100000, 1.0f)); // ~400 KB a frame
    for (int i = 0; i < 5; ++i) {
        big.setHeader(GNP2::makeHeader(std::uint32_t(i), 2));
        client.queue(big);
        EXPECT_LE(client.queuedBytes(), orvane::SimulationClient::FLUSH_THRESHOLD);
    }
    client.flush();
    const auto packets = receive(5);
    ASSERT_EQ(packets.size(), 5u);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(GNP2::objectNumber(packets[std::size_t(i)]->header()), std::uint32_t(i));
}

TEST_F(SimulationClientTest, ReadyMadeFramesFollowWhatIsQueued)
{
    startServer();
    orvane::SimulationClient client;
    client.connect("127.0.0.1", server->port());
    auto first = numberedPacket(1, 1.0f);
    client.queue(*first);
    std::vector<unsigned char> frames;
    for (int i = 2; i <= 3; ++i) {
        auto packet = numberedPacket(i, float(i));
        const std::vector<unsigned char> frame = frameOf(*packet);
        frames.insert(frames.end(), frame.begin(), frame.end());
    }
    client.sendFrames(frames.data(), frames.size());
    EXPECT_EQ(client.queuedBytes(), 0u);
    const auto packets = receive(3);
    ASSERT_EQ(packets.size(), 3u);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(packets[std::size_t(i)]->getFloatVector(1), std::vector<float>{float(i + 1)});
}

TEST_F(SimulationClientTest, PollNeverBlocksAndReturnsAnswersInOrder)
{
    startServer();
    orvane::SimulationClient client;
    client.connect("127.0.0.1", server->port());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(client.poll(), nullptr);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);

    for (int i = 0; i < 20; ++i) {
        auto answer = numberedPacket(i, float(i));
        answer->setIntVector(13, {0});
        sendRing.push(answer.release());
    }
    std::vector<std::unique_ptr<GNP2::Packet>> answers;
    ASSERT_TRUE(eventually([&] {
        while (auto packet = client.poll())
            answers.push_back(std::move(packet));
        return answers.size() == 20;
    }));
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(answers[std::size_t(i)]->getFloatVector(1), std::vector<float>{float(i)});
    EXPECT_EQ(client.droppedPackets(), 0u);
}

TEST_F(SimulationClientTest, FullReceiveQueueDropsTheOldest)
{
    startServer();
    orvane::SimulationClient client;
    client.connect("127.0.0.1", server->port());
    const std::size_t total = orvane::SimulationClient::RECEIVE_QUEUE_LIMIT + 10;
    for (std::size_t i = 0; i < total; ++i) {
        auto answer = numberedPacket(0, float(i));
        answer->setIntVector(13, {0});
        sendRing.push(answer.release());
    }
    ASSERT_TRUE(eventually([&] { return client.droppedPackets() == 10; }));
    std::unique_ptr<GNP2::Packet> oldest = client.poll();
    ASSERT_NE(oldest, nullptr);
    EXPECT_EQ(oldest->getFloatVector(1), std::vector<float>{10.0f});
}

TEST_F(SimulationClientTest, LostLinkIsReportedAndSendsThrow)
{
    startServer();
    orvane::SimulationClient client;
    client.connect("127.0.0.1", server->port());
    ASSERT_TRUE(eventually([&] { return server->clientCount() == 1; }));
    server->disconnect();
    ASSERT_TRUE(eventually([&] { return !client.isConnected(); }));
    EXPECT_EQ(client.error(), "the viewer closed the connection");

    auto packet = numberedPacket(1, 1.0f);
    try {
        client.send(*packet);
        ADD_FAILURE() << "send on a lost link did not throw";
    } catch (const orvane::ClientError& error) {
        const std::string expected =
            "The link to 127.0.0.1:" + std::to_string(server->port()) + " is down";
        EXPECT_EQ(std::string(error.what()).rfind(expected, 0), 0u) << error.what();
    }

    // The same client connects anew, without an explicit close.
    EXPECT_THROW(client.connect("127.0.0.1", closedPort()), orvane::ClientError);
    EXPECT_EQ(client.error(), "") << "the old link's remains were closed";
    client.connect("127.0.0.1", server->port());
    EXPECT_THROW(client.connect("127.0.0.1", server->port()), orvane::ClientError);
    EXPECT_TRUE(client.isConnected());
    client.send(*packet);
    EXPECT_EQ(receive(1).size(), 1u);
}

} // namespace
} // namespace linktest
