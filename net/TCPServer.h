#pragma once
// TCPServer: the viewer's end of the simulation link.
//
// A listener thread accepts connections on one TCP port; each connection
// gets a receive thread, which cuts the stream into frames, decodes each into
// a GNP2::Packet, stamps item 13 with the connection number and pushes it
// onto the receive ring, and a send thread, which writes the packets that
// scene objects put on the send ring back to the simulation. The object
// manager gates both threads with `enabled` and watches `clientCount`.
//
// Flow control: once 750 packets wait in the receive ring the receive thread
// stops reading the socket until the scene has taken some, so TCP slows a
// fast simulation down instead of memory growing.
//
// One simulation at a time: the receive ring has a single producer, so a
// second connection while one is live is closed at once (and logged).
// Bad input ends only what it must: a frame whose length word cannot be
// trusted closes its connection; a well-framed body that does not decode is
// dropped and the connection kept.
//
// Threading: the constructor, the destructor, disconnect() and setEnabled()
// are called by the owner (the GUI thread in the program); the getters may be
// called from any thread. Each member below says who touches it. The rings
// must outlive the server. The destructor stops the listener and the
// connections and joins every thread it started.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "net/PacketRing.h"
#include "net/Socket.h"
#include "net/Thread.h"

class TCPServer
{
public:
    static constexpr int DEFAULT_PORT = 11000;
    // The receive thread stops reading while this many packets are queued.
    static constexpr int FLOW_CONTROL_LEVEL = 750;
    // Receive and send buffer per connection; the largest body accepted.
    static constexpr std::size_t BUFFER_SIZE = std::size_t(16) << 20;
    static constexpr std::size_t RECEIVE_STACK_SIZE = std::size_t(2) << 20;
    static constexpr std::chrono::seconds LISTEN_RETRY_INTERVAL{2};

    // Starts the listener thread and returns at once, without waiting for the
    // socket to be bound. Port 0 listens on an ephemeral port (see port()).
    TCPServer(int port, PacketRing& receiveRing, PacketRing& sendRing);
    ~TCPServer();
    TCPServer(const TCPServer&) = delete;
    TCPServer& operator=(const TCPServer&) = delete;

    // Ends every connection: shuts their sockets down and waits 100 ms so that
    // their threads notice. Returns at once when a disconnect is already running.
    void disconnect();

    // Connections whose receive thread is running.
    int clientCount() const { return _clientCount.load(); }
    // Set by the object manager while it is online; the connection threads
    // wait for it and end when it is cleared.
    bool enabled() const { return _enabled.load(); }
    void setEnabled(bool enabled);
    // True only while disconnect() runs.
    bool disconnecting() const { return _disconnecting.load(); }
    // The value stamped into item 13 of every received packet.
    int connectionNumber() const { return _connectionNumber; }

    // Whether the listening socket is up, and the port it is bound to (0 until then).
    bool listening() const { return _listening.load(); }
    int port() const { return _boundPort.load(); }
    // Waits until listening, at most `timeout`; true when listening.
    bool waitUntilListening(std::chrono::milliseconds timeout);

    // The reason text for the socket error that ended a connection (0: the
    // peer closed it, or the server ended it).
    static std::string reasonText(int error);
    // The marker file held locked while a server listens in this process.
    static std::string lockFilePath();

private:
    struct Connection;

    void listenLoop();
    // Empty on success, else what failed ("bind failed: Address already in use").
    std::string openListener();
    void acceptConnection();
    // Joins the threads of the last connection and closes its socket.
    void reapConnection();
    void receiveLoop(Connection& connection);
    void sendLoop(Connection& connection);
    // Blocks until the connection may start (enabled) or must not (flags).
    void waitForStart(const Connection& connection);
    // Whether a connection's loops go on.
    bool running(const Connection& connection) const;
    // Whether the live connection has been told to end (disconnect) or has ended.
    bool connectionEnding() const;
    // Sleeps on the state condition for at most `duration`; false once stopping.
    bool sleepUnlessStopping(std::chrono::milliseconds duration);

    const int _requestedPort; // set at construction
    PacketRing& _receiveRing; // this server's receive thread is its only producer while connected
    PacketRing& _sendRing;    // this server's send thread is its only consumer while connected
    const int _connectionNumber = 0;

    std::atomic<int> _clientCount{0};  // atomic: listener increments, receive thread decrements
    std::atomic<bool> _enabled{false}; // atomic; written under _stateMutex by setEnabled()
    std::atomic<bool> _disconnecting{false}; // atomic; set under _stateMutex by disconnect()
    std::atomic<bool> _stopping{false};      // atomic; set under _stateMutex by the destructor
    std::atomic<bool> _listening{false};     // atomic; written under _stateMutex by the listener
    std::atomic<int> _boundPort{0};          // atomic: written by the listener

    // Wakes the threads waiting for the flags above (start, retry sleeps,
    // waitUntilListening); every flag change that such a wait depends on is
    // made while holding it.
    std::mutex _stateMutex;
    std::condition_variable _stateChanged;

    // Accepted connections in order of acceptance (the socket list);
    // protected by _mutex. A connection leaves the list (under _mutex) before
    // it is destroyed, so disconnect() never touches a closed socket. Lock
    // order: _mutex before _stateMutex.
    std::mutex _mutex;
    std::vector<Connection*> _sockets;

    net::SocketHandle _listener;  // listener thread only (destructor after the join)
    net::SocketHandle _wakeRead;  // listener thread polls it; written once by the destructor
    net::SocketHandle _wakeWrite; // destructor only
    std::unique_ptr<Connection> _connection; // listener thread only (destructor after the join)
    int _lastAcceptError = 0;                // listener thread only
    Thread _listenerThread;                  // owner thread
};
