#pragma once
// Helpers for the link tests: a server on an ephemeral port with its two
// rings, raw client sockets for bytes the client library would never send,
// and the console lines the server wrote.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "log/Log.h"
#include "gnp2/Packet.h"
#include "net/PacketRing.h"
#include "gnp2/Socket.h"
#include "net/TCPServer.h"

namespace linktest {

using namespace std::chrono_literals;

// Polls `condition` until it holds or `timeout` passes.
bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 10s);

// A connected IPv4 socket to 127.0.0.1:port (fails the test when it cannot).
GNP2::SocketHandle connectRaw(int port);
void sendBytes(int fd, const std::vector<unsigned char>& bytes);
// "127.0.0.1:<local port>" of a connected socket: how the server names it.
std::string localAddress(int fd);
// Waits for the peer to close: true when a read returns 0 or a reset.
bool closedByPeer(int fd, std::chrono::milliseconds timeout = 10s);

// A whole frame from a packet.
std::vector<unsigned char> frameOf(GNP2::Packet& packet);
// A packet for object `objectNumber` carrying one float item 1 = {value}.
std::unique_ptr<GNP2::Packet> numberedPacket(int objectNumber, float value);

// Console lines containing `text`.
std::vector<console::LogLine> linesWith(const std::string& text);
bool waitForLine(const std::string& text, std::chrono::milliseconds timeout = 10s);

class LinkTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts a server on an ephemeral port, optionally enabled.
    void startServer(bool enable = true);
    // Pops `count` packets from the receive ring, waiting up to 10 s in all.
    std::vector<std::unique_ptr<GNP2::Packet>> receive(std::size_t count);

    static std::atomic<int> shows; // console::show() calls since SetUp

    PacketRing receiveRing;
    PacketRing sendRing;
    std::unique_ptr<TCPServer> server; // destroyed before the rings
};

} // namespace linktest
