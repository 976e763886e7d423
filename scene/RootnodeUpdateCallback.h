#pragma once
// The scene root's update callback: where packets become scene changes.
// Once per frame, inside the update traversal, it drains the receive ring for
// at most 10 ms (at least one packet when any waits): each packet goes to the
// object its connection number (item 13) and object number (header bits
// 0-11) name, or creates that object from its type code. Objects therefore
// only change between frames, never while they are drawn.
//
// Threading: operator() and runOnce() run on the GUI thread (the viewer runs
// its update traversal there). The lock protects the object table, the clear
// flag and currentTime against clearScene(), the one other entry point,
// which also runs on the GUI thread but may come from a slot between frames.

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

#include <osg/Group>
#include <osg/NodeCallback>
#include <osg/ref_ptr>

#include "scene/ObjectKinds.h"
#include "replay/Recorder.h"
#include "scene/PacketSink.h"
#include "scene/VisObject.h"

class PacketRing;

namespace GNP2 {
class Packet;
}

class rootnodeUpdateCallback : public osg::NodeCallback
{
public:
    // Seconds since some fixed start; injectable so tests control the budget.
    using Clock = std::function<double()>;
    static constexpr double BUDGET_SECONDS = 0.01;
    // The steady clock is read before every this many packets: a look costs
    // about as much as applying a small packet, and this many packets take
    // microseconds, a thousandth of the budget. An injected clock is read
    // before every packet.
    static constexpr int CLOCK_STRIDE = 8;
    // A pass that starts with the link's reader at its flow-control mark
    // waits up to this long for more each time it empties the ring, within
    // its budget.
    static constexpr double FLOOD_WAIT_SECONDS = 0.002;

    rootnodeUpdateCallback(PacketRing& receiveRing, PacketRing& sendRing,
                           const ObjectFactory& factory, osg::Group* sceneRoot, osg::Group* hudRoot,
                           const ObjectServices& services = {});

    void operator()(osg::Node* node, osg::NodeVisitor* nv) override;

    // One pass without traversing: handles a pending clear, then applies
    // packets within the budget. Returns the number of packets taken.
    int runOnce();

    // Empties the object table and marks the scene for clearing at the next
    // pass (takes the lock).
    void clearTable();

    // Objects created from now on get the send ring as their send queue.
    void setLive(bool live);
    // While replaying, each packet's own time stamp (the time it was
    // recorded at) becomes the current time instead of being overwritten.
    void setReplaying(bool replaying);
    // Non-null: record every applied packet's object state.
    void setRecorder(StateRecorder* recorder);
    // An empty clock goes back to the steady clock.
    void setClock(Clock clock);
    // How long a flooded pass waits for the reader each time the ring runs
    // dry (FLOOD_WAIT_SECONDS; tests lengthen it so that a slow machine
    // cannot decide the outcome).
    void setFloodWait(double seconds) { _floodWaitSeconds = seconds; }
    // Packets taken from the receive ring since the callback was made.
    std::uint64_t appliedPackets() const { return _applied; }

    // The simulation time most recently announced by a time packet.
    float currentTime() const { return _currentTime; }
    // Sets the current time (a new run's clock starts at 0).
    void setCurrentTime(float time) { _currentTime = time; }
    // The object of (connection, object number), or null.
    VisObject* findObject(int connection, int objectNumber) const;
    // The object of that number on the lowest connection that has one, or
    // null (a replay may hold the objects of several connections).
    VisObject* findObjectOfAnyConnection(int objectNumber) const;
    std::size_t objectCount() const;

protected:
    ~rootnodeUpdateCallback() override;

private:
    // The send ring as seen by scene objects.
    class SendRingSink : public PacketSink
    {
    public:
        explicit SendRingSink(PacketRing& ring) : _ring(ring) {}
        void send(GNP2::Packet* packet) override;

    private:
        PacketRing& _ring;
    };

    // Finds or creates the packet's object; null when the packet is a time
    // packet or its type code has no class. Throws the packet exception when
    // item 13 is missing.
    VisObject* dispatch(GNP2::Packet& packet);
    void apply(GNP2::Packet* packet);
    void reportUnknownKind(int connection, int code);
    // Item 0 := {currentTime}.
    void stampTime(GNP2::Packet& packet) const;
    // The existing object the packet goes to, or null: for fetching its
    // memory ahead of the packet, so that it is in the cache in time.
    VisObject* target(const GNP2::Packet& packet) const;
    // Whether the budget from `start` is spent (`taken` packets so far).
    bool budgetSpent(double start, int taken) const;

    PacketRing& _receiveRing; // consumer side: this callback only
    SendRingSink _sendSink;
    const ObjectFactory& _factory;
    osg::ref_ptr<osg::Group> _sceneRoot;
    osg::ref_ptr<osg::Group> _hudRoot;
    const ObjectServices _services;
    Clock _clock; // empty: the steady clock, read every CLOCK_STRIDE packets
    double _floodWaitSeconds = FLOOD_WAIT_SECONDS;
    std::uint64_t _applied = 0; // GUI thread only

    mutable std::mutex _lock;
    // Indexed by connection, then object number; non-owning (the groups own
    // the objects). Protected by _lock.
    std::vector<std::vector<VisObject*>> _objectTable;
    // Objects that join no group (views hang in the viewer instead); kept
    // alive here until the scene is cleared. Protected by _lock.
    std::vector<osg::ref_ptr<VisObject>> _detached;
    bool _clearPending = false;         // protected by _lock
    float _currentTime = 0.0f;          // GUI thread only
    bool _live = false;                 // GUI thread only
    bool _replaying = false;            // GUI thread only
    StateRecorder* _recorder = nullptr; // GUI thread only
    // (connection, type code) pairs already reported as having no class, so a
    // stream of them logs once. GUI thread only.
    std::set<std::pair<int, int>> _reportedKinds;
};
