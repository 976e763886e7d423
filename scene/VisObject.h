#pragma once
// Scene objects: everything the simulation can show is a node of the scene
// graph that is created from a packet, changed by later packets with the same
// object number, and keeps the merge of all packets it has seen as its state
// packet. VisObject is the common base of all scene object classes. The
// object manager creates an object from the type code of its first packet,
// calls initialize and then update with that packet, and update with every
// later one; it records getPacket() after each and clears its changed flags.
//
// A concrete class builds its nodes in initialize and applies items in
// update. Both follow one contract, for which this base offers the pieces:
//  - initialize(packet): mergeState(packet), read the items the class needs,
//    build the nodes, storeTime(packet), setInitialized(); the whole body
//    inside guarded(Phase::Initializing, ...), so a missing item prints the
//    failure lines and leaves the object uninitialised.
//  - update(packet): beginUpdate(packet) merges the packet and, while the
//    object is still uninitialised, retries initialize from the accumulated
//    state; then the items present in the incoming packet are applied and
//    storeTime(packet) is called. An exception from update may pass to the
//    caller, which reports it (failureLine) and goes on.
//
// Threading: GUI thread only (the scene update traversal, under the object
// manager's lock). sendPacket hands packets to another thread through the
// PacketSink. The process-wide time is atomic.

#include <atomic>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include <osg/Group>

#include "gnp2/Packet.h"

class PacketSink;

// Item numbers every scene object shares.
namespace items {
constexpr int TIME = 0;
constexpr int POSITION = 1;
constexpr int ORIENTATION = 3;
constexpr int SCALE = 4;
constexpr int SHININESS_ON = 8;
constexpr int SHININESS = 9;
constexpr int ALPHA = 10;
constexpr int CONNECTION = 13;
constexpr int WIREFRAME = 29;
constexpr int COLOUR = 44;
} // namespace items

class VisObject : public osg::Group
{
public:
    // `sendQueue` is where sendPacket delivers: the object manager's send
    // ring while a simulation is connected, null in replay. It never changes.
    explicit VisObject(PacketSink* sendQueue);

    const char* libraryName() const override { return "orvane"; }
    // The class name used in failure messages; each concrete class returns its own.
    const char* className() const override { return "VisObject"; }

    // Builds the object's nodes from a packet.
    virtual void initialize(const GNP2::Packet& packet) = 0;
    // Applies a packet to an existing object.
    virtual void update(const GNP2::Packet& packet) = 0;
    // The merge of all packets applied to the object.
    virtual GNP2::Packet& getPacket() { return _statePacket; }

    // The time stamp (item 0) of the most recent packet any scene object
    // applied: one value for the whole process.
    float getTime() const { return s_time.load(std::memory_order_relaxed); }

    // Sends a packet to the simulation that this object came from: readdressed
    // to this object's number and connection and handed to the send queue.
    // Without a send queue, or before the state holds a connection number,
    // the packet is deleted. Takes ownership.
    void sendPacket(GNP2::Packet* packet);

    bool isInitialized() const { return _initialized; }
    PacketSink* sendQueue() const { return _sendQueue; }

    enum class Phase
    {
        Initializing,
        Updating,
    };
    // "An error occured while initializing <className>. Object will be
    // skipped!" (or "updating"), followed by `addition` where a class adds words.
    static std::string failureLine(Phase phase, std::string_view className,
                                   std::string_view addition = {});
    // Writes the failure line, the exception's message and "ErrorNr: <n>" to
    // standard output.
    static void reportFailure(Phase phase, std::string_view className,
                              const GNP2::GNP2Exception& error, std::string_view addition = {});

protected:
    ~VisObject() override;

    // Runs `body`, catching a packet exception and reporting it; returns
    // whether the body ran to its end.
    template <typename Body>
    bool guarded(Phase phase, std::string_view className, Body&& body,
                 std::string_view addition = {})
    {
        try {
            body();
            return true;
        } catch (const GNP2::GNP2Exception& error) {
            reportFailure(phase, className, error, addition);
            return false;
        }
    }

    // Merges a packet into the state packet. Merging the state packet into
    // itself is skipped: it would clear the changed flags the merge just set.
    void mergeState(const GNP2::Packet& packet);
    // The common start of update: merge, then build from the accumulated state
    // if an earlier initialize failed. Returns whether the object is built.
    bool beginUpdate(const GNP2::Packet& packet);
    // Item 0 of the packet, when present, becomes the process-wide time.
    static void storeTime(const GNP2::Packet& packet);
    void setInitialized() { _initialized = true; }
    GNP2::Packet& statePacket() { return _statePacket; }

    // Typed views of an item with at least `minCount` elements. A missing
    // item, one of another type or a shorter one throws the packet exception
    // with the item's number, so short vectors fail like missing items and
    // nothing past the data is read.
    static std::span<const float> floatItem(const GNP2::Packet& packet, int index,
                                            std::size_t minCount = 1);
    static std::span<const int> intItem(const GNP2::Packet& packet, int index,
                                        std::size_t minCount = 1);

private:
    PacketSink* const _sendQueue;
    GNP2::Packet _statePacket;
    bool _initialized = false;

    static std::atomic<float> s_time;
};
