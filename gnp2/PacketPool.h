#pragma once
// PacketPool: recycles the memory of freed packets.
//
// At stream rate one thread allocates packets (the receive thread, the replay
// reader) and another frees them (the scene update, the send thread). Going
// through the general heap for each makes both threads fight over the heap's
// locks and hands the memory back and forth between their arenas. The pool
// keeps freed packet blocks instead:
//
// - each thread has a private cache of free blocks, used without any lock;
// - a thread whose cache grows past two batches moves one batch (a linked
//   list of BATCH blocks) to a shared depot, and a thread whose cache is
//   empty takes a whole batch from it, so the depot's mutex is taken once per
//   BATCH packets, not once per packet;
// - a thread that ends moves its cache to the depot in batches;
// - the depot holds at most MAX_BATCHES batches of at most BATCH blocks;
//   what it has no room for goes back to the heap.
//
// Memory bound: MAX_BATCHES * BATCH blocks in the depot plus fewer than
// 2 * BATCH per thread. The depot can hold every packet a full receive ring
// queues (999) and those in hand, so a link whose ring fills and drains keeps
// recycling the same blocks instead of going back to the heap.
//
// Under AddressSanitizer the pool passes every request straight to the heap,
// so that a packet used after it was freed is still caught.
//
// Threading: allocate() and deallocate() may be called from any thread, and a
// block may be freed by another thread than the one that allocated it. The
// depot is protected by its mutex; the caches are thread-local.

#include <cstddef>
#include <cstdint>

namespace GNP2 {

class PacketPool
{
public:
    static constexpr int BATCH = 32;
    static constexpr int MAX_BATCHES = 40;
#if defined(__SANITIZE_ADDRESS__)
    static constexpr bool ENABLED = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    static constexpr bool ENABLED = false;
#else
    static constexpr bool ENABLED = true;
#endif
#else
    static constexpr bool ENABLED = true;
#endif

    // A block of `size` bytes (always the size of one packet).
    static void* allocate(std::size_t size);
    // Takes back a block from allocate(), on any thread.
    static void deallocate(void* block, std::size_t size) noexcept;

    // Moves the calling thread's cached blocks to the depot (or the heap),
    // as happens when the thread ends.
    static void releaseThreadCache() noexcept;

    struct Stats
    {
        std::uint64_t heapAllocations = 0; // blocks taken from the heap so far
        std::uint64_t heapFrees = 0;       // blocks given back to the heap so far
        int depotBatches = 0;              // batches in the depot now
        int threadCached = 0;              // blocks in the calling thread's cache now
    };
    static Stats stats();
};

} // namespace GNP2
