#pragma once
// TCPServer: the viewer's end of the simulation link.
//
// A listener thread accepts connections on one TCP port; each connection
// gets a receive thread, which cuts the stream into frames, decodes each into
// a GNP2::Packet, stamps item 13 with the connection number and pushes it
// onto the receive ring, and a send thread, which writes the packets that
// scene objects put on the send ring back to the simulation. The object
// manager gates both threads with `enabled` and watches the connections
// start and end.
//
// Flow control: once 750 packets wait in the receive ring the receive thread
// stops reading the socket until the scene has taken some, so TCP slows a
// fast simulation down instead of memory growing. It looks at the level
// every 50 us for 20 ms, then waits to be woken by the scene.
//
// One simulation at a time: the receive ring has a single producer, so a
// second connection while one is live is closed at once (and logged). A
// simulation that reconnects while its previous connection is on its way
// out (it has closed it, or the viewer is ending it) is no second
// simulation: it is served as soon as the previous connection is over.
// Bad input ends only what it must: a frame whose length word cannot be
// trusted closes its connection; a well-framed body that does not decode is
// dropped and the connection kept.
//
// The end of a connection, in this order: the receive loop ends (the peer
// closed, an error, the flags, an untrusted length word); the send thread is
// told to stop and waited for, so that an error it met (a reset noticed
// while writing) gives the reason; the end is reported; the connection is
// counted as ended, so that the listener serves the next one; only then is
// the socket shut down and closed, which is when the simulation sees the
// end. Closing (not only shutting down) matters: bytes the viewer will never
// read make the close a reset, so a simulation blocked in send gets an error.
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
#include <cstdint>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "net/PacketRing.h"
#include "gnp2/Socket.h"
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
    // How long a new connection waits for the live one's peer close to
    // arrive before it is refused as a second simulation, and how often it
    // looks.
    static constexpr std::chrono::milliseconds PEER_CLOSE_GRACE{50};
    static constexpr std::chrono::milliseconds PEER_CLOSE_POLL{1};

    // Starts the listener thread and returns at once, without waiting for the
    // socket to be bound. Port 0 listens on an ephemeral port (see port()).
    TCPServer(int port, PacketRing& receiveRing, PacketRing& sendRing);
    ~TCPServer();
    TCPServer(const TCPServer&) = delete;
    TCPServer& operator=(const TCPServer&) = delete;

    // Ends the connections that are up: shuts their sockets down and waits
    // 100 ms so that their threads notice. A connection accepted meanwhile
    // (a simulation that reconnects at once) is not ended. Returns at once
    // when a disconnect is already running.
    void disconnect();

    // Connections whose receive thread is running.
    int clientCount() const { return _clientCount.load(); }

    // Connections are numbered 1, 2, ... in the order they are served.
    // `started` is the number of the latest served, `ended` how many of them
    // have ended (one at a time, so started - ended is 0 or 1). Counting
    // them lets an observer that looks now and then see a connection that
    // ended and the next that started in between, which the count of live
    // connections hides.
    struct Connections
    {
        std::uint64_t started = 0;
        std::uint64_t ended = 0;
    };
    Connections connections() const;

    static constexpr std::uint64_t EVERY_CONNECTION = std::numeric_limits<std::uint64_t>::max();
    // Set by the object manager while it is online; the connection threads
    // wait for it and end when it is cleared. Only connections numbered up
    // to `upTo` may run: the object manager names the connection of its
    // run, so that the next one waits until its own run has begun.
    bool enabled() const { return _enabled.load(); }
    void setEnabled(bool enabled, std::uint64_t upTo = EVERY_CONNECTION);
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
    // Whether the previous connection is over or on its way out, waiting a
    // moment for its peer's close to arrive; false when it is live.
    bool previousConnectionLeaving();
    // Waits until the previous connection is over (or the server stops).
    void waitForPreviousConnection();
    // Joins the threads of the previous connection.
    void reapConnection();
    void receiveLoop(Connection& connection);
    // After each packet queued: returns when the receive ring has room below
    // the flow-control level (or the connection is ending). `room` is the
    // receive loop's count of packets it may still queue without looking.
    void waitForRoom(const Connection& connection, int& room);
    // What follows the receive loop (see the header comment).
    void endConnection(Connection& connection, int error, const std::string& protocolError);
    void sendLoop(Connection& connection);
    // Sends a whole frame, waiting for room in the socket in a way the
    // receive thread can interrupt. 0, the errno, or ECANCELED when told to stop.
    int sendFrame(Connection& connection, const unsigned char* frame, std::size_t length);
    // Blocks until the connection may start (enabled) or must not (flags).
    void waitForStart(const Connection& connection);
    // Whether a connection may run now (enabled for it).
    bool admitted(const Connection& connection) const;
    // Whether a connection's loops go on.
    bool running(const Connection& connection) const;
    // Sleeps on the state condition for at most `duration`; false once stopping.
    bool sleepUnlessStopping(std::chrono::milliseconds duration);

    const int _requestedPort; // set at construction
    PacketRing& _receiveRing; // this server's receive thread is its only producer while connected
    PacketRing& _sendRing;    // this server's send thread is its only consumer while connected
    const int _connectionNumber = 0;

    std::atomic<int> _clientCount{0}; // atomic: listener increments, receive thread decrements
    std::atomic<std::uint64_t> _started{0}; // atomic: listener increments before the threads start
    std::atomic<std::uint64_t> _ended{0};   // atomic: receive thread increments at its end
    std::atomic<bool> _enabled{false};      // atomic; written under _stateMutex by setEnabled()
    std::atomic<std::uint64_t> _enabledUpTo{0}; // atomic; written under _stateMutex by setEnabled()
    std::atomic<bool> _disconnecting{false};    // atomic; set under _stateMutex by disconnect()
    std::atomic<bool> _stopping{false};         // atomic; set under _stateMutex by the destructor
    std::atomic<bool> _listening{false};        // atomic; written under _stateMutex by the listener
    std::atomic<int> _boundPort{0};             // atomic: written by the listener

    // Wakes the threads waiting for the flags above (start, retry sleeps,
    // waitUntilListening); every flag change that such a wait depends on is
    // made while holding it.
    std::mutex _stateMutex;
    std::condition_variable _stateChanged;

    // Accepted connections whose sockets are open, in order of acceptance
    // (the socket list); protected by _mutex. A connection leaves the list
    // (under _mutex) before its socket is closed, so disconnect(), the
    // destructor and the listener never touch a closed socket. Lock order:
    // _mutex before _stateMutex.
    std::mutex _mutex;
    std::vector<Connection*> _sockets;

    GNP2::SocketHandle _listener;  // listener thread only (destructor after the join)
    GNP2::SocketHandle _wakeRead;  // listener thread polls it; written once by the destructor
    GNP2::SocketHandle _wakeWrite; // destructor only
    // The latest connection served, until the next is served; listener
    // thread only (destructor after the join).
    std::unique_ptr<Connection> _connection;
    int _lastAcceptError = 0; // listener thread only
    Thread _listenerThread;   // owner thread
};
