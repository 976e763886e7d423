#include "net/PacketRing.h"

#include <thread>

#include <linux/membarrier.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "gnp2/Packet.h"

namespace {

// Before a wait blocks it spins briefly, then yields the processor a few
// times: at full stream rate the other side moves within microseconds, and
// sleeping and waking cost more. Yielding (rather than spinning on) lets the
// other side run when both share a core.
constexpr int SPIN_ROUNDS = 64;
constexpr int YIELD_ROUNDS = 32;

inline void relax()
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

template <typename F> bool spinUntil(F&& condition)
{
    for (int i = 0; i < SPIN_ROUNDS; ++i) {
        if (condition())
            return true;
        relax();
    }
    for (int i = 0; i < YIELD_ROUNDS; ++i) {
        std::this_thread::yield();
        if (condition())
            return true;
    }
    return false;
}

// Whether the process may use the kernel's expedited memory barrier, which
// makes every running thread of the process pass a full barrier.
bool registerMembarrier()
{
    const long commands = ::syscall(__NR_membarrier, MEMBARRIER_CMD_QUERY, 0, 0);
    return commands > 0 && (commands & MEMBARRIER_CMD_PRIVATE_EXPEDITED) &&
           ::syscall(__NR_membarrier, MEMBARRIER_CMD_REGISTER_PRIVATE_EXPEDITED, 0, 0) == 0;
}

bool asymmetricFences()
{
    static const bool available = registerMembarrier();
    return available;
}

// A side that moved its index and now looks at the other side's "waiting"
// flag, and a side that set its flag and now looks at the other's index,
// each need their store ordered before their load, or a wake-up can be
// lost. The fast path (every push and pop) pays only for a compiler
// barrier; the side about to sleep, which is rare and about to make system
// calls anyway, makes the kernel pass a full barrier on every thread of the
// process. Without that kernel call both sides use a full fence.
inline void fastSideFence()
{
    if (asymmetricFences())
        std::atomic_signal_fence(std::memory_order_seq_cst);
    else
        std::atomic_thread_fence(std::memory_order_seq_cst);
}

inline void sleepingSideFence()
{
    if (!asymmetricFences() ||
        ::syscall(__NR_membarrier, MEMBARRIER_CMD_PRIVATE_EXPEDITED, 0, 0) != 0)
        std::atomic_thread_fence(std::memory_order_seq_cst);
}

// The fast side, after moving its index: wakes the other side if it said it
// sleeps. The flag is taken down here, so a run of pops wakes a sleeping
// producer once instead of making a system call for every packet.
inline void wakeIfWaiting(std::atomic<bool>& waiting, std::mutex& mutex,
                          std::condition_variable& wake)
{
    fastSideFence();
    if (waiting.load(std::memory_order_relaxed) &&
        waiting.exchange(false, std::memory_order_relaxed)) {
        {
            std::lock_guard lock(mutex);
        }
        wake.notify_one();
    }
}

// The sleeping side, holding the mutex: says it sleeps, looks once more and
// sleeps until woken or the timeout, again after each wake-up that did not
// bring what it waits for (the waker took the flag down).
template <typename Done>
void sleepUntil(std::atomic<bool>& waiting, std::condition_variable& wake,
                std::unique_lock<std::mutex>& lock, std::chrono::microseconds timeout, Done done)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        waiting.store(true, std::memory_order_relaxed);
        sleepingSideFence();
        if (done())
            break;
        if (wake.wait_until(lock, deadline) == std::cv_status::timeout) {
            done();
            break;
        }
    }
    waiting.store(false, std::memory_order_relaxed);
}

} // namespace

PacketRing::PacketRing() = default;

PacketRing::~PacketRing()
{
    while (GNP2::Packet* packet = pop())
        delete packet;
}

bool PacketRing::tryPush(GNP2::Packet* packet)
{
    const int head = _head.load(std::memory_order_relaxed);
    const int following = next(head);
    if (following == _tailSeen) {
        _tailSeen = _tail.load(std::memory_order_acquire);
        if (following == _tailSeen)
            return false;
    }
    _slots[head] = packet;
    _head.store(following, std::memory_order_release);
    wakeIfWaiting(_consumerWaiting, _waitMutex, _notEmpty);
    return true;
}

void PacketRing::push(GNP2::Packet* packet)
{
    while (!tryPush(packet))
        waitBelow(CAPACITY - 1, std::chrono::milliseconds(1));
}

GNP2::Packet* PacketRing::pop()
{
    const int tail = _tail.load(std::memory_order_relaxed);
    if (tail == _headSeen) {
        _headSeen = _head.load(std::memory_order_acquire);
        if (tail == _headSeen)
            return nullptr;
    }
    GNP2::Packet* packet = _slots[tail];
    _tail.store(next(tail), std::memory_order_release);
    wakeIfWaiting(_producerWaiting, _waitMutex, _notFull);
    return packet;
}

const GNP2::Packet* PacketRing::front() const
{
    // The consumer's last view of head answers without touching the line
    // the producer writes, as long as it shows a packet.
    const int tail = _tail.load(std::memory_order_relaxed);
    if (tail == _headSeen) {
        _headSeen = _head.load(std::memory_order_acquire);
        if (tail == _headSeen)
            return nullptr;
    }
    return _slots[tail];
}

const GNP2::Packet* PacketRing::peek(int ahead) const
{
    const int tail = _tail.load(std::memory_order_relaxed);
    if (fill(_headSeen, tail) <= ahead) {
        _headSeen = _head.load(std::memory_order_acquire);
        if (fill(_headSeen, tail) <= ahead)
            return nullptr;
    }
    const int at = tail + ahead;
    return _slots[at >= CAPACITY ? at - CAPACITY : at];
}

int PacketRing::size() const
{
    // Tail first: it only moves towards head, so a third thread's answer can
    // be too large but never negative.
    const int tail = _tail.load(std::memory_order_acquire);
    const int head = _head.load(std::memory_order_acquire);
    return fill(head, tail);
}

template <typename Ready>
bool PacketRing::waitFor(std::atomic<bool>& waiting, std::condition_variable& wake,
                         std::chrono::microseconds timeout, Ready ready)
{
    if (spinUntil(ready))
        return true;
    std::unique_lock lock(_waitMutex);
    const std::uint64_t wakeups = _wakeups;
    bool result = false;
    sleepUntil(waiting, wake, lock, timeout,
               [&] { return (result = ready()) || _wakeups != wakeups; });
    return result;
}

bool PacketRing::waitBelow(int level, std::chrono::microseconds timeout)
{
    const int head = _head.load(std::memory_order_relaxed);
    // The producer's cached tail is older than the real one, so its fill level
    // is an upper bound: when that is below, no shared line needs reading.
    if (fill(head, _tailSeen) < level)
        return true;
    return waitFor(_producerWaiting, _notFull, timeout, [&] {
        _tailSeen = _tail.load(std::memory_order_acquire);
        return fill(head, _tailSeen) < level;
    });
}

bool PacketRing::waitNotEmpty(std::chrono::microseconds timeout)
{
    const int tail = _tail.load(std::memory_order_relaxed);
    return waitFor(_consumerWaiting, _notEmpty, timeout, [&] {
        _headSeen = _head.load(std::memory_order_acquire);
        return _headSeen != tail;
    });
}

void PacketRing::wakeAll()
{
    {
        std::lock_guard lock(_waitMutex);
        ++_wakeups;
    }
    _notFull.notify_all();
    _notEmpty.notify_all();
}
