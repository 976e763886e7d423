#pragma once
// Scene objects: everything the simulation can show is a node of the scene
// graph that is created from a packet, changed by later packets with the same
// object number, and keeps the merge of all packets it has seen as its state
// packet. VisObject is the common base of all scene object classes. The
// object manager creates an object from the type code of its first packet,
// calls initialize and then update with that packet, and update with every
// later one; it records getPacket() after each and clears its changed flags.
//
// The skeleton of initialize and update lives here, once; a kind writes
// only what is its own:
//  - build(packet): read the items the kind needs (from the packet or the
//    state packet, which already holds it) and build the nodes. A missing
//    item throws the packet exception; returning false means "not yet"
//    without an error (a model file still loading).
//  - apply(arrived): apply the items of a packet to a built object.
//    `arrived` is the incoming packet, or the whole state packet when the
//    object was built by this very update: the earlier packets' items had
//    nothing to apply to then.
//  - skeleton(): the few ways a kind's order differs, in one line.
// initialize(packet): merge, build inside the failure handler, store the
// time, mark built. update(packet): merge; while not built, build from the
// accumulated state (before the merge where the kind says so); store the
// time; apply what arrived. An exception from update passes to the caller
// (the object manager reports it and goes on) unless the kind guards it.
//
// Threading: GUI thread only (the scene update traversal, under the object
// manager's lock). sendPacket hands packets to another thread through the
// PacketSink. The process-wide time is atomic.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include <osg/Group>

#include "gnp2/Packet.h"
#include "gnp2/ReplayRecord.h"
#include "protocol/Items.h"
#include "scene/ObjectServices.h"

class VisObject : public osg::Group
{
public:
    // The context's send queue is where sendPacket delivers: the object
    // manager's send ring while a simulation is connected, null in replay.
    // It never changes; nor do the services.
    explicit VisObject(const ObjectContext& context);

    const char* libraryName() const override { return "orvane"; }
    // The class name used in failure messages; each concrete class returns its own.
    const char* className() const override { return "VisObject"; }

    // Builds the object's nodes from a packet (the skeleton above). Does
    // nothing on a built object.
    virtual void initialize(const GNP2::Packet& packet);
    // Applies a packet to the object (the skeleton above).
    virtual void update(const GNP2::Packet& packet);
    // The merge of all packets applied to the object.
    virtual GNP2::Packet& getPacket() { return _statePacket; }
    // The last record written of the state, kept by the recorder.
    GNP2::replayRecord::Image& recordImage() { return _recordImage; }

    // The time stamp (item 0) of the most recent packet any scene object
    // applied: one value for the whole process.
    float getTime() const { return s_time.load(std::memory_order_relaxed); }

    // Sends a packet to the simulation that this object came from: readdressed
    // to this object's number and connection and handed to the send queue.
    // Without a send queue, or before the state holds a connection number,
    // the packet is deleted. Takes ownership.
    void sendPacket(GNP2::Packet* packet);

    // Asks the processor to load the state packet's lines that a small
    // update touches (presence mask, inline data, the first items), ahead of
    // the update: objects are visited in no order the cache can guess.
    void prefetch() const
    {
        __builtin_prefetch(this);
        prefetchBytes(&_statePacket, PREFETCH_BYTES);
    }
    // The same for the parts of the concrete class that a small update
    // changes (a placed object's matrices); the object's own pointers are
    // read here, so prefetch() must have been asked a little earlier.
    virtual void prefetchParts() const {}
    // Asks for every cache line of `size` bytes from `start`.
    static void prefetchBytes(const void* start, std::size_t size)
    {
        const auto first = reinterpret_cast<std::uintptr_t>(start) & ~std::uintptr_t(63);
        const auto end = reinterpret_cast<std::uintptr_t>(start) + size;
        for (std::uintptr_t line = first; line < end; line += 64)
            __builtin_prefetch(reinterpret_cast<const void*>(line));
    }

    bool isInitialized() const { return _initialized; }
    PacketSink* sendQueue() const { return _sendQueue; }
    const ObjectServices& services() const { return _services; }
    // The context this object was made with: for objects that make partners.
    ObjectContext context() const { return {_sendQueue, _services}; }

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

    // How a kind's order differs from the common one.
    struct Skeleton
    {
        // update builds a not yet built object from the state packet before
        // merging the incoming packet (else after).
        bool buildBeforeMerge = false;
        // update runs inside the failure handler ("updating") instead of
        // letting a packet exception pass to the caller.
        bool guardUpdate = false;
        // update writes item 0 into the process-wide time.
        bool updateStoresTime = true;
        // A failed initialize writes the "An error occured ..." line before
        // the exception's lines (else the exception's lines alone).
        bool failureLine = true;
        // The class name in failure lines; null: className().
        const char* failureName = nullptr;
        // Words after the initialize failure line (" Will try to ..."); null:
        // none.
        const char* failureAddition = nullptr;
    };
    virtual Skeleton skeleton() const { return {}; }
    // The kind's own part of initialize and update (see the top).
    virtual bool build(const GNP2::Packet& packet) = 0;
    virtual void apply(const GNP2::Packet& arrived) = 0;

    // Shows a message to the user through the user-messages service.
    void showMessage(const std::string& caption, const std::string& text) const;
    // The font file for a font name through the font service; empty when
    // none exists.
    std::string fontFile(const std::string& name) const;

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
    // Item 0 of the packet, when present, becomes the process-wide time.
    static void storeTime(const GNP2::Packet& packet);
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
    // The packet's mask, header, inline data and items 0 to about 15.
    static constexpr std::size_t PREFETCH_BYTES = 640;

    void reportInitFailure(const GNP2::GNP2Exception& error) const;

    PacketSink* const _sendQueue;
    const ObjectServices _services;
    GNP2::Packet _statePacket;
    GNP2::replayRecord::Image _recordImage;
    bool _initialized = false;

    static std::atomic<float> s_time;
};
