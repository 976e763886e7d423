#pragma once
// SimulationClient: the simulation's end of the link to an Orvane viewer.
//
// A simulation connects to the viewer's port (11000 unless the viewer was
// started with -tcp), builds GNP2::Packets with the typed setters and sends
// them, either one frame per send or queued into an outgoing buffer that
// flush() sends with one call, as a simulation step would. Packets the viewer
// sends back (button presses, intersector hits, camera poses) are received on
// a background thread and wait in a queue that poll() empties without ever
// blocking the simulation.
//
//     orvane::SimulationClient client;
//     client.connect("localhost", 11000);
//     GNP2::Packet box;
//     box.setHeader(GNP2::makeHeader(1, typeCode));
//     box.setFloatVector(1, {x, y, z});
//     client.queue(box);
//     client.flush();
//     while (auto answer = client.poll()) { ... }
//
// Errors (no such host, connection refused, connection lost) throw
// orvane::ClientError with a message that names the viewer and the cause.
//
// Threading: connect(), send(), queue(), flush() and close() belong to one
// thread (the simulation's). poll(), waitForPacket(), isConnected(), error()
// and droppedPackets() may be called from any thread. The receive thread is
// internal; members below say what protects what they share with it.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

#include "gnp2/Packet.h"

namespace orvane {

class ClientError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

class SimulationClient
{
public:
    static constexpr int DEFAULT_PORT = 11000;
    // Received packets kept for poll(); beyond it the oldest are dropped so
    // that a simulation that never polls neither stalls the viewer nor grows.
    static constexpr std::size_t RECEIVE_QUEUE_LIMIT = 4096;
    // queue() sends the outgoing buffer first when it would grow beyond this.
    static constexpr std::size_t FLUSH_THRESHOLD = std::size_t(1) << 20;

    SimulationClient();
    // Closes the connection (unsent queued frames are sent first when possible).
    ~SimulationClient();
    SimulationClient(const SimulationClient&) = delete;
    SimulationClient& operator=(const SimulationClient&) = delete;

    // Connects to the viewer at host (name or IPv4 address) and port; after a
    // lost link it connects anew. Throws ClientError ("Cannot connect to
    // localhost:11000: Connection refused", or when already connected).
    void connect(const std::string& host, int port = DEFAULT_PORT);
    // True from connect() until close() or until the viewer ends the link.
    bool isConnected() const;
    // Why the link ended, empty while it is up or after close().
    std::string error() const;

    // Serializes the packet into the outgoing buffer (clearing its changed
    // flags); nothing is sent until flush(), unless the buffer is full.
    // Throws ClientError for a frame larger than the viewer accepts (16 MiB
    // body), leaving the buffer as it was.
    void queue(GNP2::Packet& packet);
    // Appends a ready-made frame (length word included) to the outgoing buffer.
    void queueFrame(const void* frame, std::size_t length);
    // Sends everything queued with one send call. Throws ClientError when the
    // link is down.
    void flush();
    // queue() + flush(): one frame, one send (after anything already queued).
    void send(GNP2::Packet& packet);
    // Sends what is queued and then `length` bytes of ready-made frames
    // (recorded or built elsewhere) with one call, without copying them.
    void sendFrames(const void* frames, std::size_t length);
    std::size_t queuedBytes() const { return _outSize; }

    // The oldest packet the viewer sent, or null when none waits. Never blocks.
    std::unique_ptr<GNP2::Packet> poll();
    // Like poll(), but waits up to `timeout` for a packet.
    std::unique_ptr<GNP2::Packet> waitForPacket(std::chrono::milliseconds timeout);
    // Packets dropped because the receive queue was full.
    std::size_t droppedPackets() const { return _dropped.load(); }

    // Sends what is queued (if the link is up), closes the connection and
    // joins the receive thread. Safe to call more than once.
    void close();

private:
    void receiveLoop();
    void ensureOutCapacity(std::size_t needed);
    void linkLost(const std::string& why);

    std::string _peer;     // "host:port"; simulation thread only
    int _socket = -1;      // written by the simulation thread while no receive thread runs
    std::thread _receiver; // simulation thread only

    // Outgoing frames, simulation thread only.
    std::unique_ptr<unsigned char[]> _out;
    std::size_t _outSize = 0;
    std::size_t _outCapacity = 0;

    mutable std::mutex _mutex;                           // protects the members below
    std::condition_variable _packetArrived;              // signalled under _mutex
    std::deque<std::unique_ptr<GNP2::Packet>> _received; // protected by _mutex
    std::string _error;                                  // protected by _mutex
    std::atomic<bool> _connected{false}; // atomic: simulation thread and receive thread
    std::atomic<bool> _closing{false}; // atomic: set by close() before the receive thread is woken
    std::atomic<std::size_t> _dropped{0}; // atomic: receive thread counts, anyone reads
};

} // namespace orvane
