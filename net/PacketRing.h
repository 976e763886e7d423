#pragma once
// PacketRing: the bounded queue of packet pointers between the link and the
// scene. Two exist: the receive ring (receive thread or replay reader ->
// scene update) and the send ring (scene objects -> send thread).
//
// It is a single-producer single-consumer ring of 1000 slots of which 999
// are usable: empty when head == tail, full when head + 1 == tail (mod 1000).
// Only the producer writes head and only the consumer writes tail; a slot is
// written before head is published (release) and read after head is seen
// (acquire), and a slot is read before tail is published, so no lock is
// needed on the fast path. A packet in a slot is owned by the ring; pop()
// hands it to the consumer, which deletes it when done.
//
// Waiting: a producer facing a full ring, the link's flow control and an
// idle consumer block on an event with a short timeout instead of polling.
// The other side wakes them only when a waiter has announced itself, so the
// fast path stays free of system calls.
//
// Threading: push(), tryPush() and waitBelow() belong to the one producer
// thread; pop(), front(), peek() and waitNotEmpty() to the one consumer thread (the
// roles may move from one thread to another between uses, e.g. replay ->
// link). size() and empty() are exact when called by either side and an
// upper bound when called by a third thread. wakeAll() may be called from
// any thread.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace GNP2 {
class Packet;
}

class PacketRing
{
public:
    static constexpr int CAPACITY = 1000;

    PacketRing();
    // Deletes the packets still queued.
    ~PacketRing();
    PacketRing(const PacketRing&) = delete;
    PacketRing& operator=(const PacketRing&) = delete;

    // Producer: queues the packet and takes ownership of it, waiting while the
    // ring is full.
    void push(GNP2::Packet* packet);
    // Producer: queues the packet unless the ring is full; false (the caller
    // keeps the packet) when full.
    bool tryPush(GNP2::Packet* packet);
    // Consumer: the oldest packet, now owned by the caller; null when empty.
    GNP2::Packet* pop();
    // Consumer: the oldest packet, left in the ring; null when empty.
    const GNP2::Packet* front() const;
    // Consumer: the packet `ahead` places behind the oldest (0: the oldest),
    // left in the ring; null when fewer are queued.
    const GNP2::Packet* peek(int ahead) const;

    // Fill level, 0 to 999.
    int size() const;
    bool empty() const { return size() == 0; }

    // Producer: waits until fewer than `level` packets are queued, at most
    // `timeout`; true when the level is below.
    bool waitBelow(int level, std::chrono::microseconds timeout);
    // Consumer: waits until a packet is queued, at most `timeout`; true when
    // one is.
    bool waitNotEmpty(std::chrono::microseconds timeout);
    // Wakes both sides' waits early (they return and look at their own flags).
    void wakeAll();

private:
    static int next(int index) { return index + 1 == CAPACITY ? 0 : index + 1; }
    static int fill(int head, int tail)
    {
        return head >= tail ? head - tail : head + CAPACITY - tail;
    }
    // One side's wait: spins for `ready`, then sleeps on `wake` with the
    // side's `waiting` flag up until `ready` holds, wakeAll() is called or the
    // timeout passes; returns the last answer of `ready`.
    template <typename Ready>
    bool waitFor(std::atomic<bool>& waiting, std::condition_variable& wake,
                 std::chrono::microseconds timeout, Ready ready);

    // Producer's side: head and the producer's last view of tail.
    alignas(64) std::atomic<std::int32_t> _head{0}; // written by the producer only
    std::int32_t _tailSeen = 0;                     // producer only
    // Consumer's side: tail and the consumer's last view of head.
    alignas(64) std::atomic<std::int32_t> _tail{0}; // written by the consumer only
    mutable std::int32_t _headSeen = 0;             // consumer only

    // Slow path. A side sets its "waiting" flag before its last look at the
    // other index; the other side reads the flag after publishing its index.
    // Both orders are kept by a barrier pair that costs the fast side only a
    // compiler barrier (the sleeping side has the kernel fence every thread
    // of the process), so a wake-up is never lost. The waker takes the flag
    // down, so one wait costs the other side one notification.
    alignas(64) std::atomic<bool> _producerWaiting{
        false};                                // set by the producer, taken down by either side
    std::atomic<bool> _consumerWaiting{false}; // set by the consumer, taken down by either side
    std::mutex _waitMutex;                     // orders the waits against the notifications
    std::uint64_t _wakeups = 0;                // protected by _waitMutex; bumped by wakeAll()
    std::condition_variable _notFull;          // producer waits here; consumer and wakeAll() notify
    std::condition_variable _notEmpty;         // consumer waits here; producer and wakeAll() notify

    // Slot i holds a packet exactly while it lies between tail and head; a slot
    // is written by the producer before head passes it and read by the consumer
    // before tail passes it.
    alignas(64) GNP2::Packet* _slots[CAPACITY] = {};
};
