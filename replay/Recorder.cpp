#include "replay/Recorder.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <system_error>

#include <unistd.h>

#include "gnp2/Packet.h"
#include "gnp2/ReplayRecord.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Copies `size` bytes (a multiple of 64) to 64-byte aligned `to` with stores
// that do not keep the destination in the cache.
void streamCopy(unsigned char* to, const unsigned char* from, std::size_t size)
{
#if defined(__SSE2__)
    for (std::size_t i = 0; i < size; i += 64) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i + 16));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i + 32));
        const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i + 48));
        _mm_stream_si128(reinterpret_cast<__m128i*>(to + i), a);
        _mm_stream_si128(reinterpret_cast<__m128i*>(to + i + 16), b);
        _mm_stream_si128(reinterpret_cast<__m128i*>(to + i + 32), c);
        _mm_stream_si128(reinterpret_cast<__m128i*>(to + i + 48), d);
    }
#else
    std::memcpy(to, from, size);
#endif
}

// Makes the streamed stores visible to other threads before a block is
// handed over.
void streamFence()
{
#if defined(__SSE2__)
    _mm_sfence();
#endif
}

} // namespace

ReplayRecorder::ReplayRecorder() = default;

ReplayRecorder::~ReplayRecorder()
{
    close();
}

std::string ReplayRecorder::open(const std::string& path)
{
    close();
    _records = 0;
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    if (!parent.empty()) {
        std::error_code error;
        std::filesystem::create_directories(parent, error);
        if (error)
            return "cannot create the directory " + parent.string() + ": " + error.message();
    }
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return "cannot open " + path + " for writing: " + std::strerror(errno);
    _file.reset(file);
    // Whole blocks are written: stdio needs no buffer of its own.
    std::setvbuf(_file.get(), nullptr, _IONBF, 0);
    {
        std::lock_guard lock(_mutex);
        _stop = false;
        _failure.clear();
    }
    _failed = false;
    _fileBytes = 0;
    _nextRecord = 0;
    _wholeEnd = 0;
    std::memset(_tail, 0, sizeof _tail);
    if (_current.bytes.empty()) {
        _current.bytes.resize(RECORD_BUFFER_SIZE);
        std::lock_guard lock(_mutex);
        ++_blocks;
    }
    _current.used = 0;
    _staged = 0;
    _writer = std::thread([this] { writeLoop(); });
    return {};
}

void ReplayRecorder::close()
{
    if (!_file)
        return;
    if (bufferedBytes() > 0)
        submit(0);
    {
        std::lock_guard lock(_mutex);
        _stop = true;
    }
    _changed.notify_all();
    _writer.join(); // the writer writes what is queued before it stops
    _file.reset();
}

void ReplayRecorder::flush()
{
    if (!_file)
        return;
    if (bufferedBytes() > 0)
        submit(0);
    waitWritten();
    std::fflush(_file.get());
}

void ReplayRecorder::submit(std::size_t size)
{
    drain(true);
    handOver(size);
}

void ReplayRecorder::handOver(std::size_t size)
{
    streamFence();
    const std::size_t wanted = std::max(size, RECORD_BUFFER_SIZE);
    std::unique_lock lock(_mutex);
    if (_current.used > 0)
        _full.push_back(std::move(_current));
    _current = Block{};
    _changed.notify_all();
    // A written block, or a new one while fewer than BLOCKS exist; else the
    // writer is behind by BLOCKS blocks and recording waits for it.
    _changed.wait(lock, [&] { return !_empty.empty() || _blocks < BLOCKS; });
    if (!_empty.empty()) {
        _current = std::move(_empty.back());
        _empty.pop_back();
    } else {
        ++_blocks;
    }
    lock.unlock();
    _current.used = 0;
    if (_current.bytes.size() < wanted)
        _current.bytes.resize(wanted);
}

void ReplayRecorder::drain(bool all)
{
    if (_staged == 0)
        return;
    if (_current.bytes.size() - _current.used < _staged)
        handOver(0);
    unsigned char* to = _current.bytes.data() + _current.used;
    // Plain copies up to the next cache line of the block, then whole lines.
    std::size_t head = std::min(_staged, (64 - reinterpret_cast<std::uintptr_t>(to) % 64) % 64);
    const std::size_t lines = (_staged - head) / 64 * 64;
    std::size_t tail = _staged - head - lines;
    std::memcpy(to, _stage, head);
    streamCopy(to + head, _stage + head, lines);
    std::size_t moved = head + lines;
    if (all) {
        std::memcpy(to + moved, _stage + moved, tail);
        moved += tail;
        tail = 0;
    }
    _current.used += moved;
    if (tail)
        std::memmove(_stage, _stage + moved, tail);
    _staged = tail;
}

void ReplayRecorder::waitWritten()
{
    std::unique_lock lock(_mutex);
    _changed.wait(lock, [&] { return _full.empty() && !_writing; });
}

void ReplayRecorder::writeLoop()
{
    std::unique_lock lock(_mutex);
    for (;;) {
        _changed.wait(lock, [&] { return _stop || !_full.empty(); });
        if (_full.empty())
            return; // stopped, and every block is written
        Block block = std::move(_full.front());
        _full.pop_front();
        _writing = true;
        lock.unlock();
        if (!_failed) {
            const std::size_t written = std::fwrite(block.bytes.data(), 1, block.used, _file.get());
            if (written == block.used) {
                followRecords(block);
            } else {
                const std::string why = std::strerror(errno);
                // The file keeps the records wholly written before: one
                // cut by the failure would be read as garbage.
                if (::ftruncate(::fileno(_file.get()), off_t(_wholeEnd)) != 0)
                    std::fseek(_file.get(), long(_wholeEnd), SEEK_SET);
                lock.lock();
                _failure = why + " after " + std::to_string(_wholeEnd) + " bytes";
                lock.unlock();
                _failed = true;
            }
        }
        lock.lock();
        _writing = false;
        block.used = 0;
        // A block grown for one huge record goes back to the heap.
        if (block.bytes.size() > RECORD_BUFFER_SIZE)
            --_blocks;
        else
            _empty.push_back(std::move(block));
        _changed.notify_all();
    }
}

void ReplayRecorder::followRecords(const Block& block)
{
    const std::uint64_t start = _fileBytes;
    const std::uint64_t end = start + block.used;
    // A byte at or after start - 8: in the block or in the tail before it.
    auto byteAt = [&](std::uint64_t offset) {
        return offset >= start ? block.bytes[offset - start] : _tail[offset + 8 - start];
    };
    for (;;) {
        if (_nextRecord <= end)
            _wholeEnd = _nextRecord;
        if (_nextRecord + 8 > end)
            break;
        std::uint32_t length = 0;
        for (int i = 3; i >= 0; --i)
            length = (length << 8) | byteAt(_nextRecord + 4 + std::uint64_t(i));
        _nextRecord += 4 + std::uint64_t(length);
    }
    // The last 8 bytes of the file: the old tail and the block, in order.
    unsigned char joined[16];
    const std::size_t taken = std::min<std::size_t>(block.used, 8);
    std::memcpy(joined, _tail, 8);
    std::memcpy(joined + 8, block.bytes.data() + block.used - taken, taken);
    std::memcpy(_tail, joined + taken, 8);
    _fileBytes = end;
}

std::string ReplayRecorder::failure() const
{
    std::lock_guard lock(_mutex);
    return _failure;
}

unsigned char* ReplayRecorder::place(std::size_t size)
{
    unsigned char* out;
    if (size <= STAGE_SIZE / 2) {
        if (STAGE_SIZE - _staged < size)
            drain(false);
        out = _stage + _staged;
        _staged += size;
    } else {
        drain(true);
        if (_current.bytes.size() - _current.used < size)
            submit(size);
        out = _current.bytes.data() + _current.used;
        _current.used += size;
    }
    ++_records;
    return out;
}

void ReplayRecorder::record(GNP2::Packet& state)
{
    if (!_file || _failed) {
        state.clearChanged();
        return;
    }
    GNP2::replayRecord::write(state, place(GNP2::replayRecord::size(state)));
}

void ReplayRecorder::recordWithImage(GNP2::Packet& state, GNP2::replayRecord::Image& image)
{
    if (!_file || _failed) {
        state.clearChanged();
        return;
    }
    const std::size_t size = image.update(state, GNP2::timeOf(state).value_or(0.0f));
    state.clearChanged();
    std::memcpy(place(size), image.data(), size);
}
