#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "gnp2/Packet.h"
#include "gnp2/PacketPool.h"
#include "net/PacketRing.h"
#include "orvane/Protocol.h"

namespace {

using namespace std::chrono_literals;

#if defined(__SANITIZE_THREAD__)
constexpr std::uint32_t HANDOVER_COUNT = 1'000'000;
#else
constexpr std::uint32_t HANDOVER_COUNT = 4'000'000;
#endif

GNP2::Packet* packetWithHeader(std::uint32_t header)
{
    auto* packet = new GNP2::Packet;
    packet->setHeader(header);
    return packet;
}

TEST(PacketRing, KeepsOrderAcrossManyWrapArounds)
{
    PacketRing ring;
    std::uint32_t pushed = 0;
    std::uint32_t popped = 0;
    // Fill levels that move the indices over the end of the slot array at
    // different positions.
    for (int round = 0; round < 25; ++round) {
        const int batch = 1 + (round * 137) % (PacketRing::CAPACITY - 1);
        for (int i = 0; i < batch; ++i)
            ring.push(packetWithHeader(pushed++));
        EXPECT_EQ(ring.size(), int(pushed - popped));
        while (GNP2::Packet* packet = ring.pop()) {
            EXPECT_EQ(packet->header(), popped++);
            delete packet;
        }
        EXPECT_TRUE(ring.empty());
    }
    EXPECT_EQ(pushed, popped);
    EXPECT_GT(pushed, std::uint32_t(3 * PacketRing::CAPACITY));
}

// The consumer looks ahead without taking: peek(n) is the packet pop() would
// hand out after n more pops, also where the queue runs over the end of the
// slot array, and null past the last one queued.
TEST(PacketRing, PeekSeesThePacketsBehindTheFrontInOrder)
{
    PacketRing ring;
    EXPECT_EQ(ring.peek(0), nullptr);
    std::uint32_t pushed = 0;
    std::uint32_t popped = 0;
    for (int round = 0; round < 7; ++round) {
        const int batch = 1 + (round * 331) % (PacketRing::CAPACITY - 1);
        for (int i = 0; i < batch; ++i)
            ring.push(packetWithHeader(pushed++));
        while (!ring.empty()) {
            const int queued = int(pushed - popped);
            for (const int ahead : {0, 1, 2, queued / 2, queued - 1}) {
                if (ahead < 0 || ahead >= queued)
                    continue;
                const GNP2::Packet* seen = ring.peek(ahead);
                ASSERT_NE(seen, nullptr) << "ahead " << ahead << " of " << queued;
                EXPECT_EQ(seen->header(), popped + std::uint32_t(ahead));
            }
            EXPECT_EQ(ring.peek(queued), nullptr);
            EXPECT_EQ(ring.peek(0), ring.front());
            GNP2::Packet* packet = ring.pop();
            EXPECT_EQ(packet->header(), popped++);
            delete packet;
        }
    }
    EXPECT_GT(pushed, std::uint32_t(PacketRing::CAPACITY));
}

TEST(PacketRing, HoldsNineHundredNinetyNinePackets)
{
    PacketRing ring;
    for (int i = 0; i < PacketRing::CAPACITY - 1; ++i)
        ASSERT_TRUE(ring.tryPush(packetWithHeader(std::uint32_t(i))));
    EXPECT_EQ(ring.size(), 999);
    GNP2::Packet* extra = packetWithHeader(999);
    EXPECT_FALSE(ring.tryPush(extra));
    EXPECT_EQ(ring.size(), 999);
    ASSERT_NE(ring.front(), nullptr);
    EXPECT_EQ(ring.front()->header(), 0u);

    delete ring.pop();
    EXPECT_TRUE(ring.tryPush(extra));
    EXPECT_EQ(ring.size(), 999);
    // The ring's destructor deletes the 999 packets still queued.
}

TEST(PacketRing, FullPushWaitsForTheConsumer)
{
    PacketRing ring;
    for (int i = 0; i < PacketRing::CAPACITY - 1; ++i)
        ring.push(packetWithHeader(std::uint32_t(i)));
    std::atomic<bool> done{false};
    std::thread producer([&] {
        ring.push(packetWithHeader(999));
        done = true;
    });
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(done.load()) << "push returned although the ring was full";
    EXPECT_EQ(ring.size(), 999);
    GNP2::Packet* first = ring.pop();
    producer.join();
    EXPECT_TRUE(done.load());
    EXPECT_EQ(first->header(), 0u);
    delete first;
    EXPECT_EQ(ring.size(), 999);
}

TEST(PacketRing, WaitsEndWhenTheOtherSideMovesOrOnWake)
{
    PacketRing ring;
    EXPECT_FALSE(ring.waitNotEmpty(1ms));
    EXPECT_TRUE(ring.waitBelow(1, 1ms));

    // A consumer blocked with a long timeout returns as soon as a packet comes.
    std::thread producer([&] {
        std::this_thread::sleep_for(5ms);
        ring.push(packetWithHeader(7));
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(ring.waitNotEmpty(60s));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 30s);
    producer.join();
    EXPECT_FALSE(ring.waitBelow(1, 1ms));

    // A producer blocked on the level returns false when only woken. A wake
    // that comes before the wait has begun is not one the wait sees, so the
    // waker wakes again until the wait is over.
    std::atomic<bool> waitOver{false};
    std::thread waker([&] {
        while (!waitOver.load()) {
            std::this_thread::sleep_for(5ms);
            ring.wakeAll();
        }
    });
    const auto wakeStart = std::chrono::steady_clock::now();
    EXPECT_FALSE(ring.waitBelow(1, 60s));
    waitOver = true;
    EXPECT_LT(std::chrono::steady_clock::now() - wakeStart, 30s);
    waker.join();
    delete ring.pop();
}

// One producer, one consumer, millions of hand-overs: every packet arrives
// once, in order, with the content the producer wrote. The consumer hands the
// packets back through a second ring, so both rings run full and empty and
// wrap around constantly without an allocation per packet. Under
// ThreadSanitizer this also checks the ordering of slot and content writes
// against the index updates.
TEST(PacketRing, TwoThreadsHandOverMillionsInOrder)
{
    constexpr int POOL = 1500; // more than one ring holds
    PacketRing ring;
    PacketRing returned;
    std::uint64_t sentSum = 0;
    std::thread producer([&] {
        std::vector<GNP2::Packet*> fresh;
        for (int i = 0; i < POOL; ++i)
            fresh.push_back(new GNP2::Packet);
        for (std::uint32_t i = 0; i < HANDOVER_COUNT; ++i) {
            GNP2::Packet* packet = nullptr;
            if (!fresh.empty()) {
                packet = fresh.back();
                fresh.pop_back();
            }
            while (!packet && !(packet = returned.pop()))
                returned.waitNotEmpty(1ms);
            const std::uint32_t value = i * 2654435761u;
            packet->setHeader(value);
            sentSum += value;
            ring.push(packet);
        }
        for (GNP2::Packet* packet : fresh)
            delete packet;
    });
    std::uint64_t receivedSum = 0;
    std::uint32_t received = 0;
    std::uint32_t outOfOrder = 0;
    int maxFill = 0;
    while (received < HANDOVER_COUNT) {
        maxFill = std::max(maxFill, ring.size());
        GNP2::Packet* packet = ring.pop();
        if (!packet) {
            ring.waitNotEmpty(1ms);
            continue;
        }
        if (packet->header() != received * 2654435761u)
            ++outOfOrder;
        receivedSum += packet->header();
        ++received;
        // The producer needs back all but the last POOL packets.
        if (received <= HANDOVER_COUNT - POOL)
            returned.push(packet);
        else
            delete packet;
    }
    producer.join();
    EXPECT_EQ(outOfOrder, 0u);
    EXPECT_EQ(receivedSum, sentSum);
    EXPECT_TRUE(ring.empty());
    EXPECT_TRUE(returned.empty());
    EXPECT_EQ(maxFill, PacketRing::CAPACITY - 1) << "the ring never ran full";
}

// The consumer looks at the next packet before taking it (the scene
// prepares the object it goes to): front() must see a packet pushed after
// it last answered null, and name exactly what pop() takes next.
TEST(PacketRing, FrontShowsWhatPopTakesNextEvenRightAfterAPush)
{
    PacketRing ring;
    EXPECT_EQ(ring.front(), nullptr);
    GNP2::Packet* a = packetWithHeader(1);
    GNP2::Packet* b = packetWithHeader(2);
    ring.push(a);
    EXPECT_EQ(ring.front(), a);
    EXPECT_EQ(ring.front(), a) << "looking takes nothing";
    ring.push(b);
    EXPECT_EQ(ring.pop(), a);
    EXPECT_EQ(ring.front(), b);
    EXPECT_EQ(ring.pop(), b);
    EXPECT_EQ(ring.front(), nullptr);
    EXPECT_EQ(ring.pop(), nullptr);
    GNP2::Packet* c = packetWithHeader(3);
    ring.push(c);
    EXPECT_EQ(ring.front(), c);
    EXPECT_EQ(ring.size(), 1);
    delete a;
    delete b;
}

TEST(PacketRing, FrontAndPopAgreeWhileTheProducerRuns)
{
    constexpr std::uint32_t COUNT = HANDOVER_COUNT / 20;
    PacketRing ring;
    std::thread producer([&] {
        for (std::uint32_t i = 0; i < COUNT; ++i)
            ring.push(packetWithHeader(i));
    });
    std::uint32_t received = 0;
    std::uint32_t disagreements = 0;
    std::uint32_t seenAhead = 0;
    while (received < COUNT) {
        const GNP2::Packet* next = ring.front();
        GNP2::Packet* packet = ring.pop();
        if (!packet) {
            if (next)
                ++disagreements;
            ring.waitNotEmpty(1ms);
            continue;
        }
        if (next && next != packet)
            ++disagreements;
        if (packet->header() != received)
            ++disagreements;
        // The packet after this one, if already there, must be the next in order.
        if (const GNP2::Packet* after = ring.front()) {
            ++seenAhead;
            if (after->header() != received + 1)
                ++disagreements;
        }
        ++received;
        delete packet;
    }
    producer.join();
    EXPECT_EQ(disagreements, 0u);
    EXPECT_GT(seenAhead, 0u);
}

// The link's own pattern: one thread decodes frames into new packets, the
// other checks and frees them, so packet memory goes round through the pool,
// freed on one thread and reused on the other. Every packet must carry what
// was decoded into it (not what a block held before it was recycled); under
// ThreadSanitizer this also checks the hand-over of recycled blocks.
TEST(PacketRing, DecodedPacketsFreedByTheConsumerAreRecycled)
{
    // Body: header word, then item 1 with three ints.
    std::vector<unsigned char> body(4 + 6 + 12);
    body[4] = 1;
    GNP2::writeU32(body.data() + 5, 3);
    body[9] = GNP2::TYPE_INT;
    const auto value = [](std::uint32_t i, int k) { return std::uint32_t(i * 2654435761u + k); };

    PacketRing ring;
    const GNP2::PacketPool::Stats before = GNP2::PacketPool::stats();
    std::thread producer([&] {
        for (std::uint32_t i = 0; i < HANDOVER_COUNT; ++i) {
            GNP2::writeU32(body.data(), i);
            for (int k = 0; k < 3; ++k)
                GNP2::writeU32(body.data() + 10 + 4 * k, value(i, k));
            auto* packet = new GNP2::Packet;
            if (!packet->parse(body.data(), body.size()).ok())
                packet->setHeader(~i); // counted as wrong by the consumer
            packet->setIntVector(orvane::item::Connection, {0});
            ring.push(packet);
        }
    });
    std::uint32_t received = 0;
    std::uint32_t wrong = 0;
    while (received < HANDOVER_COUNT) {
        const std::unique_ptr<GNP2::Packet> packet(ring.pop());
        if (!packet) {
            ring.waitNotEmpty(1ms);
            continue;
        }
        const GNP2::Item& item = packet->item(1);
        bool ok = packet->header() == received && item.type == GNP2::TYPE_INT && item.count == 3 &&
                  packet->hasItem(orvane::item::Connection) &&
                  packet->getIntArray(orvane::item::Connection)[0] == 0;
        for (int k = 0; ok && k < 3; ++k)
            ok = GNP2::readU32(item.data + 4 * k) == value(received, k);
        int itemCount = 0;
        packet->forEachItem([&](int, const GNP2::Item&) { ++itemCount; });
        if (!ok || itemCount != 2)
            ++wrong;
        ++received;
    }
    producer.join();
    EXPECT_EQ(wrong, 0u);
    if (GNP2::PacketPool::ENABLED) {
        EXPECT_LT(GNP2::PacketPool::stats().heapAllocations - before.heapAllocations,
                  HANDOVER_COUNT / 100)
            << "freed packets were not reused";
    }
}

} // namespace
