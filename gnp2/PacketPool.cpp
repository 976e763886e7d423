#include "gnp2/PacketPool.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <new>

namespace GNP2 {

namespace {

// A free block: its first bytes link it into a list.
struct FreeBlock
{
    FreeBlock* next;
};

struct Batch
{
    FreeBlock* head = nullptr;
    int count = 0;
};

void heapFree(FreeBlock* list) noexcept;

// The shared store of batches. Created on first use and never destroyed, so
// that packets freed while the process exits still find it.
class Depot
{
public:
    static Depot& instance()
    {
        static Depot* const depot = new Depot;
        return *depot;
    }

    bool take(Batch& batch)
    {
        std::lock_guard lock(_mutex);
        if (_count == 0)
            return false;
        batch = _batches[--_count];
        return true;
    }

    // Stores the batch, or frees it when the depot is full.
    void put(const Batch& batch) noexcept
    {
        {
            std::lock_guard lock(_mutex);
            if (_count < PacketPool::MAX_BATCHES) {
                _batches[_count++] = batch;
                return;
            }
        }
        heapFree(batch.head);
    }

    int batches()
    {
        std::lock_guard lock(_mutex);
        return _count;
    }

    std::atomic<std::uint64_t> heapAllocations{0};
    std::atomic<std::uint64_t> heapFrees{0};

private:
    std::mutex _mutex;
    Batch _batches[PacketPool::MAX_BATCHES]; // protected by _mutex
    int _count = 0;                          // protected by _mutex
};

void heapFree(FreeBlock* list) noexcept
{
    std::uint64_t freed = 0;
    while (list) {
        FreeBlock* next = list->next;
        ::operator delete(list);
        list = next;
        ++freed;
    }
    Depot::instance().heapFrees.fetch_add(freed, std::memory_order_relaxed);
}

void* heapAllocate(std::size_t size)
{
    void* block = ::operator new(size);
    Depot::instance().heapAllocations.fetch_add(1, std::memory_order_relaxed);
    return block;
}

// The calling thread's cache. Trivially destructible, so it stays usable
// while the thread's other thread-local objects are destroyed; `gone` is set
// once the thread has released it, after which blocks bypass it.
struct ThreadCache
{
    FreeBlock* head = nullptr;
    int count = 0;
    bool armed = false; // the releaser below is registered for this thread
    bool gone = false;  // the thread is ending: blocks come from and go to the heap
};
constinit thread_local ThreadCache t_cache;

// Registered on a thread's first use of the pool; releases its cache when the
// thread ends.
struct CacheReleaser
{
    ~CacheReleaser()
    {
        PacketPool::releaseThreadCache();
        t_cache.gone = true;
    }
};
thread_local CacheReleaser t_releaser;

void arm()
{
    t_cache.armed = true;
    [[maybe_unused]] CacheReleaser& releaser = t_releaser; // constructs it for this thread
}

// Splits the cache after its first `keep` blocks (the most recently freed,
// likeliest still in this processor's cache) and returns the rest as a batch.
Batch splitCache(int keep)
{
    Batch batch{t_cache.head, t_cache.count - keep};
    if (keep > 0) {
        FreeBlock* last = t_cache.head;
        for (int i = 1; i < keep; ++i)
            last = last->next;
        batch.head = last->next;
        last->next = nullptr;
    } else {
        t_cache.head = nullptr;
    }
    t_cache.count = keep;
    return batch;
}

} // namespace

void* PacketPool::allocate(std::size_t size)
{
    if constexpr (!ENABLED)
        return ::operator new(size);
    if (!t_cache.head && !t_cache.gone) {
        Batch batch;
        if (Depot::instance().take(batch)) {
            if (!t_cache.armed)
                arm();
            t_cache.head = batch.head;
            t_cache.count = batch.count;
        }
    }
    if (FreeBlock* block = t_cache.head) {
        t_cache.head = block->next;
        --t_cache.count;
        return block;
    }
    return heapAllocate(size);
}

void PacketPool::deallocate(void* pointer, std::size_t) noexcept
{
    if (!pointer)
        return;
    if constexpr (!ENABLED) {
        ::operator delete(pointer);
        return;
    }
    auto* block = static_cast<FreeBlock*>(pointer);
    if (t_cache.gone) {
        block->next = nullptr;
        heapFree(block);
        return;
    }
    if (!t_cache.armed)
        arm();
    block->next = t_cache.head;
    t_cache.head = block;
    if (++t_cache.count >= 2 * BATCH)
        Depot::instance().put(splitCache(BATCH));
}

void PacketPool::releaseThreadCache() noexcept
{
    while (t_cache.count > 0)
        Depot::instance().put(splitCache(std::max(0, t_cache.count - PacketPool::BATCH)));
}

PacketPool::Stats PacketPool::stats()
{
    Depot& depot = Depot::instance();
    Stats stats;
    stats.heapAllocations = depot.heapAllocations.load(std::memory_order_relaxed);
    stats.heapFrees = depot.heapFrees.load(std::memory_order_relaxed);
    stats.depotBatches = depot.batches();
    stats.threadCached = t_cache.count;
    return stats;
}

} // namespace GNP2
