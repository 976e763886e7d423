// How connections end and the next one begins: what a simulation sees when
// the viewer ends its connection, when it resets the connection itself, when
// it reconnects at once, and when the user clicks "Disconnect" while it
// reconnects.
#include <cerrno>
#include <cstring>
#include <chrono>
#include <atomic>
#include <future>
#include <thread>

#include <gtest/gtest.h>

#include "client/SimulationClient.h"
#include "orvane/Protocol.h"
#include "tests/support/LinkTestSupport.h"

namespace linktest {
namespace {

std::vector<unsigned char> lengthWord(std::uint32_t word)
{
    std::vector<unsigned char> bytes(4);
    GNP2::writeU32(bytes.data(), word);
    return bytes;
}

struct UntrustedWord
{
    const char* name;
    std::uint32_t lengthWord;
};

class ViewerEndedConnection : public LinkTest, public ::testing::WithParamInterface<UntrustedWord>
{
};

// A simulation streams faster than the scene takes its packets, so it
// blocks in send with every socket buffer full; then the viewer meets a
// length word it cannot trust and ends the connection. The simulation must
// get an error at once, not hang until some later connection comes along.
TEST_P(ViewerEndedConnection, ASimulationBlockedInSendGetsAnError)
{
    startServer();
    GNP2::SocketHandle client = connectRaw(server->port());
    std::vector<unsigned char> stream;
    for (int i = 0; i < 800; ++i) {
        const std::vector<unsigned char> frame = frameOf(*numberedPacket(i % 4096, float(i)));
        stream.insert(stream.end(), frame.begin(), frame.end());
    }
    const std::vector<unsigned char> word = lengthWord(GetParam().lengthWord);
    stream.insert(stream.end(), word.begin(), word.end());

    std::atomic<int> chunksSent{0};
    std::promise<int> outcome;
    std::future<int> sent = outcome.get_future();
    std::thread simulation([&, fd = client.get()] {
        int error = GNP2::sendAll(fd, stream.data(), stream.size());
        // Then far more than the loopback buffers hold.
        const std::vector<unsigned char> chunk(std::size_t(64) << 10, 0x55);
        for (int i = 0; i < 4096 && error == 0; ++i) {
            error = GNP2::sendAll(fd, chunk.data(), chunk.size());
            ++chunksSent;
        }
        outcome.set_value(error);
    });
    // The receive thread stops at 750 packets; the simulation blocks once
    // the buffers are full.
    ASSERT_TRUE(eventually([&] { return receiveRing.size() == TCPServer::FLOW_CONTROL_LEVEL; }));
    ASSERT_TRUE(eventually([&] {
        const int before = chunksSent.load();
        std::this_thread::sleep_for(100ms);
        return chunksSent.load() == before;
    }));
    ASSERT_EQ(sent.wait_for(0s), std::future_status::timeout) << "the simulation is not blocked";

    // The scene takes the packets: the receive thread reads on, up to the
    // bad length word. The bound only turns a hang into a failure.
    const auto packets = receive(800);
    EXPECT_EQ(packets.size(), 800u);
    const bool ended = sent.wait_for(2s) == std::future_status::ready;
    if (!ended)
        ::shutdown(client.get(), SHUT_RDWR); // frees the blocked thread
    simulation.join();
    ASSERT_TRUE(ended) << "the simulation's send still blocks 2 s after the viewer ended the link";
    const int error = sent.get();
    EXPECT_TRUE(error == ECONNRESET || error == EPIPE) << std::strerror(error);
    EXPECT_TRUE(eventually([&] { return server->clientCount() == 0; }));
}

INSTANTIATE_TEST_SUITE_P(Words, ViewerEndedConnection,
                         ::testing::Values(UntrustedWord{"BelowTheMinimum", 5},
                                           UntrustedWord{"AboveTheLimit", (16u << 20) + 5}),
                         [](const auto& row) { return std::string(row.param.name); });

using ConnectionEndTest = LinkTest;

// A simulation that closes and connects again without waiting for anything
// is served every time: the viewer never refuses it as a second simulation.
TEST_F(ConnectionEndTest, SimulationReconnectingAtOnceIsServedEveryTime)
{
    startServer();
    constexpr int runs = 200;
    orvane::SimulationClient client;
    for (int run = 0; run < runs; ++run) {
        client.connect("127.0.0.1", server->port());
        auto packet = numberedPacket(run, float(run));
        client.send(*packet);
        const auto packets = receive(1);
        ASSERT_EQ(packets.size(), 1u) << "connection " << run << " was not served";
        ASSERT_EQ(packets[0]->getFloatVector(1), std::vector<float>{float(run)});
        client.close();
    }
    EXPECT_TRUE(linesWith("Refused connection").empty());
    EXPECT_EQ(linesWith("Connection extablished").size(), std::size_t(runs));
    ASSERT_TRUE(eventually([&] { return linesWith("was interupted").size() == runs; }));
    EXPECT_TRUE(eventually([&] { return server->clientCount() == 0; }));
    const TCPServer::Connections counted = server->connections();
    EXPECT_EQ(counted.started, std::uint64_t(runs));
    EXPECT_EQ(counted.ended, std::uint64_t(runs));
}

// "Disconnect" ends the connection that is up when it is clicked. A
// simulation that reconnects while the disconnect still runs (the demo does)
// is a new connection and stays.
TEST_F(ConnectionEndTest, DisconnectEndsTheCurrentConnectionOnce)
{
    startServer();
    GNP2::SocketHandle first = connectRaw(server->port());
    const std::string firstPeer = localAddress(first.get());
    ASSERT_TRUE(eventually([&] { return server->clientCount() == 1; }));

    std::thread click([&] { server->disconnect(); });
    const bool firstClosed = closedByPeer(first.get());
    GNP2::SocketHandle second = connectRaw(server->port());
    click.join();
    ASSERT_TRUE(firstClosed);

    sendBytes(second.get(), frameOf(*numberedPacket(7, 7.0f)));
    const auto packets = receive(1);
    ASSERT_EQ(packets.size(), 1u) << "the reconnected simulation was dropped too";
    EXPECT_EQ(packets[0]->getFloatVector(1), std::vector<float>{7.0f});
    EXPECT_EQ(server->clientCount(), 1);
    const auto ends = linesWith("was interupted");
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_NE(ends[0].text.find(firstPeer), std::string::npos) << ends[0].text;
}

// The viewer writes while the simulation resets the connection: the send
// thread meets the reset first and takes the socket's error with it. The
// connection's end still names the reset, at level 4.
TEST_F(ConnectionEndTest, ResetMetByTheSendThreadIsReportedAsAReset)
{
    startServer();
    GNP2::SocketHandle client = connectRaw(server->port());
    const std::string peer = localAddress(client.get());

    // The scene takes nothing: the receive thread stops at 750 packets and
    // leaves the socket alone.
    std::vector<unsigned char> frames;
    for (int i = 0; i < 800; ++i) {
        const std::vector<unsigned char> frame = frameOf(*numberedPacket(i % 4096, float(i)));
        frames.insert(frames.end(), frame.begin(), frame.end());
    }
    sendBytes(client.get(), frames);
    ASSERT_TRUE(eventually([&] { return receiveRing.size() == TCPServer::FLOW_CONTROL_LEVEL; }));

    // The viewer sends far more than the simulation reads (32 MiB).
    constexpr int answers = 32;
    for (int i = 0; i < answers; ++i) {
        auto answer = numberedPacket(i, 0.0f);
        answer->setFloatVector(2, std::vector<float>(std::size_t(1) << 18, 1.0f));
        answer->setIntVector(orvane::item::Connection, {0});
        sendRing.push(answer.release());
    }
    ASSERT_TRUE(eventually([&] { return sendRing.size() < answers; }));

    const linger abortive{1, 0};
    ::setsockopt(client.get(), SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    client.reset();
    // Gives the blocked send thread the reset before the receive thread
    // reads again (an order, not a time limit).
    std::this_thread::sleep_for(100ms);

    std::vector<std::unique_ptr<GNP2::Packet>> drained;
    ASSERT_TRUE(eventually([&] {
        while (GNP2::Packet* packet = receiveRing.pop())
            drained.emplace_back(packet);
        return !linesWith("was interupted").empty();
    }));
    const auto lines = linesWith("was interupted");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text, "[TCPServer] Connection with client was interupted: " + peer +
                                 " - Connection reset by peer.\n");
    EXPECT_EQ(lines[0].level, console::LEVEL_4);
    EXPECT_TRUE(eventually([&] { return server->clientCount() == 0; }));
}

} // namespace
} // namespace linktest
