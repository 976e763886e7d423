// The link end to end over loopback: a sender streams frames, the server's
// receive thread decodes them into the receive ring, a consumer thread pops
// and frees them. The baseline is raw loopback TCP of the same bytes in the
// same sends, read in 256 KiB chunks and thrown away. Every iteration runs
// the baseline and then the link, so both see the same machine load; the
// results carry both rates, their ratio ("vs_raw") and the number of
// packets lost (must be 0). On a busy machine the wall-clock ratio depends on
// how many cores the threads get; "cpu_vs_raw" compares the processor time
// both spent on the same bytes (all threads), which depends less on it.
//
//   bench_net --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
//
// Frames: "small" is a 56-byte shape update (position and orientation),
// "large" the x coordinates of a flexible surface, one item of 16384 floats
// (65550 bytes). Batched: frames go out about 1 MiB per send call, as a
// simulation step flushes them; one per send: every frame is its own send
// call. The client sends ready-made frames
// (sendFrames), so that both sides of the comparison send the same bytes
// from the same memory and the difference is the server's work.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>

#include "log/Log.h"
#include "client/SimulationClient.h"
#include "gnp2/Packet.h"
#include "net/PacketRing.h"
#include "gnp2/Socket.h"
#include "net/TCPServer.h"
#include "orvane/Protocol.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

enum FrameKind
{
    SMALL = 0,
    LARGE = 1,
};
enum SendMode
{
    BATCHED = 0,
    ONE_PER_SEND = 1,
};

std::vector<unsigned char> makeFrame(FrameKind kind)
{
    GNP2::Packet packet;
    if (kind == SMALL) {
        packet.setHeader(GNP2::makeHeader(7, orvane::kind::Shape));
        packet.setFloatVector(orvane::item::shape::Position, {1.0f, 2.0f, 3.0f});
        packet.setFloatVector(orvane::item::shape::Orientation,
                              {1.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f});
    } else {
        packet.setHeader(GNP2::makeHeader(7, orvane::kind::FlexSurface));
        packet.setFloatVector(orvane::item::flex_surface::X, std::vector<float>(16384, 0.5f));
    }
    std::vector<unsigned char> frame(packet.serializedSize());
    packet.serialize(frame.data());
    return frame;
}

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Processor time of the whole process (every thread, user and system).
double processorSeconds()
{
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// A connected loopback pair: the baseline's sender and receiver.
struct RawPair
{
    RawPair()
    {
        GNP2::SocketHandle listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listener.get(), reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(listener.get(), 1);
        socklen_t length = sizeof address;
        ::getsockname(listener.get(), reinterpret_cast<sockaddr*>(&address), &length);
        sender.reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        ::connect(sender.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
        GNP2::setNoDelay(sender.get());
        receiver.reset(::accept(listener.get(), nullptr, nullptr));
    }

    // Sends `sends` times `batch` and reads it all back; false when bytes went missing.
    bool transfer(const std::vector<unsigned char>& batch, std::size_t sends)
    {
        std::thread writer([&] {
            for (std::size_t s = 0; s < sends; ++s)
                GNP2::sendAll(sender.get(), batch.data(), batch.size());
        });
        const std::size_t expected = sends * batch.size();
        std::size_t received = 0;
        while (received < expected) {
            const ssize_t n = ::recv(receiver.get(), buffer.data(), buffer.size(), 0);
            if (n <= 0)
                break;
            received += std::size_t(n);
        }
        writer.join();
        return received == expected;
    }

    GNP2::SocketHandle sender;
    GNP2::SocketHandle receiver;
    std::vector<unsigned char> buffer = std::vector<unsigned char>(256 << 10);
};

// The link: client library -> TCPServer -> receive ring -> consumer thread,
// which frees every packet and counts it.
class Link
{
public:
    Link() : _server(0, _receiveRing, _sendRing)
    {
        console::Log::instance().setEchoToStderr(false);
        if (!_server.waitUntilListening(10s))
            return;
        _server.setEnabled(true);
        _consumer = std::thread([this] { consume(); });
        _client.connect("127.0.0.1", _server.port());
        _ready = true;
    }
    ~Link()
    {
        _stop = true;
        if (_consumer.joinable())
            _consumer.join();
        _client.close();
    }
    bool ready() const { return _ready; }
    std::size_t consumed() const { return _consumed.load(); }

    // Sends `sends` times `batch` of `frames` frames; false when not all of
    // them came out of the ring within a minute.
    bool transfer(const std::vector<unsigned char>& batch, std::size_t sends, std::size_t frames)
    {
        const std::size_t goal = _consumed.load() + frames;
        _target = goal;
        for (std::size_t s = 0; s < sends; ++s)
            _client.sendFrames(batch.data(), batch.size());
        std::unique_lock lock(_mutex);
        return _arrived.wait_for(lock, 60s, [&] { return _consumed.load() >= goal; }) &&
               _consumed.load() == goal;
    }

private:
    void consume()
    {
        std::size_t count = 0;
        while (!_stop.load(std::memory_order_relaxed)) {
            GNP2::Packet* packet = _receiveRing.pop();
            if (!packet) {
                _receiveRing.waitNotEmpty(1ms);
                continue;
            }
            delete packet;
            _consumed.store(++count, std::memory_order_relaxed);
            if (count == _target.load(std::memory_order_relaxed)) {
                std::lock_guard lock(_mutex);
                _arrived.notify_one();
            }
        }
    }

    PacketRing _receiveRing;
    PacketRing _sendRing;
    TCPServer _server;
    orvane::SimulationClient _client;
    std::thread _consumer;
    std::atomic<std::size_t> _consumed{0};
    std::atomic<std::size_t> _target{0};
    std::atomic<bool> _stop{false};
    std::mutex _mutex;
    std::condition_variable _arrived; // signalled when _consumed reaches _target
    bool _ready = false;
};

void linkVersusRaw(benchmark::State& state)
{
    const auto kind = FrameKind(state.range(0));
    const auto mode = SendMode(state.range(1));
    const std::vector<unsigned char> frame = makeFrame(kind);
    const std::size_t perSend = mode == ONE_PER_SEND ? 1 : kind == SMALL ? 18000 : 16;
    const std::size_t frames = kind == SMALL ? 180000 : 1600;
    const std::size_t sends = frames / perSend;
    std::vector<unsigned char> batch;
    for (std::size_t i = 0; i < perSend; ++i)
        batch.insert(batch.end(), frame.begin(), frame.end());

    RawPair raw;
    Link link;
    if (!link.ready()) {
        state.SkipWithError("server not listening");
        return;
    }
    double rawSeconds = 0;
    double linkSeconds = 0;
    double rawProcessor = 0;
    double linkProcessor = 0;
    std::size_t total = 0;
    for (auto _ : state) {
        auto start = Clock::now();
        double processor = processorSeconds();
        if (!raw.transfer(batch, sends)) {
            state.SkipWithError("raw loopback lost bytes");
            break;
        }
        rawSeconds += secondsSince(start);
        rawProcessor += processorSeconds() - processor;
        start = Clock::now();
        processor = processorSeconds();
        const bool complete = link.transfer(batch, sends, frames);
        linkSeconds += secondsSince(start);
        linkProcessor += processorSeconds() - processor;
        total += frames;
        if (!complete) {
            state.SkipWithError("packets lost or stuck");
            break;
        }
    }
    if (total == 0)
        return;
    const double bytes = double(total * frame.size());
    state.SetItemsProcessed(std::int64_t(total));
    state.counters["packets_per_s"] = double(total) / linkSeconds;
    state.counters["raw_packets_per_s"] = double(total) / rawSeconds;
    state.counters["MB_per_s"] = bytes / linkSeconds / 1e6;
    state.counters["raw_MB_per_s"] = bytes / rawSeconds / 1e6;
    state.counters["vs_raw"] = rawSeconds / linkSeconds;
    state.counters["cpu_vs_raw"] = rawProcessor / linkProcessor;
    state.counters["lost"] = double(total) - double(link.consumed());
}

BENCHMARK(linkVersusRaw)
    ->ArgNames({"large", "one_per_send"})
    ->Args({SMALL, BATCHED})
    ->Args({SMALL, ONE_PER_SEND})
    ->Args({LARGE, BATCHED})
    ->Args({LARGE, ONE_PER_SEND})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

} // namespace
