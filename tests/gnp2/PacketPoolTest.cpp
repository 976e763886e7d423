// Recycling of packet memory between threads: freed packets come back empty,
// blocks freed on one thread serve allocations on another, the shared depot
// and the per-thread caches stay bounded, and a thread's cache is handed over
// when the thread ends (even if a packet is freed after that).
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "gnp2/Packet.h"
#include "gnp2/PacketPool.h"

using GNP2::Packet;
using GNP2::PacketPool;

namespace {

#define SKIP_WITHOUT_POOL()                                                                        \
    if (!PacketPool::ENABLED) {                                                                    \
        GTEST_SKIP() << "packets come straight from the heap in this build";                       \
    }

std::vector<Packet*> allocate(int count)
{
    std::vector<Packet*> packets;
    for (int i = 0; i < count; ++i)
        packets.push_back(new Packet);
    return packets;
}

void free(const std::vector<Packet*>& packets)
{
    for (Packet* packet : packets)
        delete packet;
}

// Takes every block the depot and this thread's cache hold and keeps them
// until destroyed, so that a test starts from an empty depot whatever ran
// before it.
class DrainedPool
{
public:
    DrainedPool()
    {
        // The depot and a cache hold at most this many blocks together.
        constexpr int MOST = (PacketPool::MAX_BATCHES + 2) * PacketPool::BATCH;
        while ((PacketPool::stats().depotBatches > 0 || PacketPool::stats().threadCached > 0) &&
               int(_held.size()) < MOST)
            _held.push_back(new Packet);
    }
    ~DrainedPool() { free(_held); }
    DrainedPool(const DrainedPool&) = delete;
    DrainedPool& operator=(const DrainedPool&) = delete;

private:
    std::vector<Packet*> _held;
};

} // namespace

TEST(PacketPool, RecycledPacketStartsEmpty)
{
    SKIP_WITHOUT_POOL();
    Packet* first = new Packet;
    first->setHeader(0x0100002A);
    first->setFloatVector(0, {1.f});
    first->setIntVector(13, {5});
    first->setFloatVector(40, std::vector<float>(1000, 2.f)); // a heap block as well
    delete first;

    Packet* second = new Packet;
    ASSERT_EQ(second, first) << "the last block freed on a thread is the next one it gets";
    EXPECT_TRUE(second->empty());
    EXPECT_EQ(second->header(), 0u);
    for (int index = 0; index < GNP2::ITEM_COUNT; ++index) {
        EXPECT_FALSE(second->hasItem(index)) << index;
        EXPECT_FALSE(second->isChanged(index)) << index;
        EXPECT_EQ(second->item(index).count, 0) << index;
    }
    std::vector<unsigned char> frame(second->serializedSize());
    EXPECT_EQ(second->serialize(frame.data()), 8u);
    delete second;
}

TEST(PacketPool, BlocksFreedOnAnotherThreadServeTheNextAllocations)
{
    SKIP_WITHOUT_POOL();
    constexpr int COUNT = 8 * PacketPool::BATCH;
    const DrainedPool drained;
    ASSERT_EQ(PacketPool::stats().depotBatches, 0);
    std::vector<Packet*> packets = allocate(COUNT);
    for (Packet* packet : packets)
        packet->setIntVector(13, {0});
    const PacketPool::Stats before = PacketPool::stats();
    std::thread([&] { free(packets); }).join();
    const PacketPool::Stats afterFree = PacketPool::stats();
    EXPECT_EQ(afterFree.heapFrees, before.heapFrees) << "the depot had room for all";
    EXPECT_GE(afterFree.depotBatches, COUNT / PacketPool::BATCH - 2);

    packets = allocate(COUNT);
    EXPECT_EQ(PacketPool::stats().heapAllocations, afterFree.heapAllocations)
        << "blocks freed on the other thread were not reused";
    free(packets);
}

TEST(PacketPool, DepotAndThreadCachesStayBounded)
{
    SKIP_WITHOUT_POOL();
    constexpr int COUNT = 3 * PacketPool::MAX_BATCHES * PacketPool::BATCH;
    std::vector<Packet*> packets = allocate(COUNT);
    const PacketPool::Stats before = PacketPool::stats();
    int cachedByFreeingThread = -1;
    std::thread([&] {
        free(packets);
        cachedByFreeingThread = PacketPool::stats().threadCached;
    }).join();
    const PacketPool::Stats after = PacketPool::stats();
    EXPECT_GE(cachedByFreeingThread, 0);
    EXPECT_LT(cachedByFreeingThread, 2 * PacketPool::BATCH);
    EXPECT_LE(after.depotBatches, PacketPool::MAX_BATCHES);
    // The depot cannot hold them all: the rest went back to the heap.
    EXPECT_GE(after.heapFrees - before.heapFrees,
              std::uint64_t(COUNT - PacketPool::MAX_BATCHES * PacketPool::BATCH));
}

TEST(PacketPool, EndingThreadHandsItsCacheOver)
{
    SKIP_WITHOUT_POOL();
    const DrainedPool drained;
    PacketPool::Stats atEnd;
    std::thread([&] {
        free(allocate(PacketPool::BATCH + 5));
        atEnd = PacketPool::stats();
    }).join();
    EXPECT_EQ(atEnd.threadCached, PacketPool::BATCH + 5);
    const PacketPool::Stats after = PacketPool::stats();
    EXPECT_EQ(after.depotBatches, atEnd.depotBatches + 2) << "one full batch and the rest";
    EXPECT_EQ(after.heapFrees, atEnd.heapFrees);

    // What the ended thread left is what this thread gets next.
    const std::vector<Packet*> packets = allocate(PacketPool::BATCH + 5);
    EXPECT_EQ(PacketPool::stats().heapAllocations, after.heapAllocations);
    free(packets);
}

namespace {

std::atomic<std::uint64_t> g_lateHeapFrees{0};

// Frees its packet when the thread's thread-local objects are destroyed, and
// counts the blocks that went back to the heap meanwhile.
struct LateFree
{
    ~LateFree()
    {
        const std::uint64_t before = PacketPool::stats().heapFrees;
        delete packet;
        g_lateHeapFrees = PacketPool::stats().heapFrees - before;
    }
    Packet* packet = nullptr;
};

} // namespace

TEST(PacketPool, PacketFreedAfterItsThreadReleasedTheCache)
{
    SKIP_WITHOUT_POOL();
    g_lateHeapFrees = 0;
    std::thread([] {
        // Constructed before the pool's own per-thread state, so destroyed
        // after it: its packet is freed once the cache is gone and must go
        // straight back to the heap.
        thread_local LateFree late;
        LateFree& holder = late;
        holder.packet = new Packet;
        holder.packet->setIntVector(13, {1});
        delete new Packet; // first free on this thread: the pool's state exists now
    }).join();
    EXPECT_EQ(g_lateHeapFrees.load(), 1u);
}
