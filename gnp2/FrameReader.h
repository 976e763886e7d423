#pragma once
// FrameReader: cuts a TCP byte stream into frames (a little-endian length
// word counting itself, then the body) while reading the socket in large
// chunks, so that one read can yield many small frames and a frame split
// over many reads is reassembled in place. Bodies are handed out as
// pointers into the buffer: no copy before decoding.
//
// The buffer can hold one largest frame (16 MiB body plus the length word):
// either from the start, or growing to it when a large frame arrives. Reads
// go into a window near its start while frames are small, which keeps the
// working set in cache; the unread rest of a partial frame is moved to the
// front when the window is used up or a large frame would not fit.
//
// The buffer is not cleared: only bytes read from the socket are ever looked
// at, and clearing 16 MiB for every connection costs more than the
// connection's first frames (and far more under ThreadSanitizer).
//
// Header-only, shared by the viewer's receive thread and the client library.
//
// Threading: one reader belongs to one thread.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "gnp2/Packet.h"

namespace GNP2 {

class FrameReader
{
public:
    static constexpr std::size_t MAX_BODY = std::size_t(16) << 20;
    static constexpr std::size_t MIN_FRAME = GNP2::FRAME_HEADER_SIZE;

    enum class Status
    {
        Frame,    // a whole frame: body and bodyLength are set, the frame is consumed
        NeedMore, // read more bytes (prepareRead, then commit)
        TooShort, // the length word is below 8: the stream cannot be resynchronised
        TooLong,  // the body exceeds 16 MiB
    };
    struct Next
    {
        Status status = Status::NeedMore;
        const unsigned char* body = nullptr;
        std::size_t bodyLength = 0;
        std::uint32_t lengthWord = 0; // the offending word for TooShort/TooLong
    };

    static constexpr std::size_t CAPACITY = MAX_BODY + 4;

    // `readChunk` is the usual size of one read; `window` the part of the
    // buffer used before partial frames are moved back to the front;
    // `initialCapacity` the buffer allocated now (it grows up to
    // CAPACITY when a frame needs it).
    explicit FrameReader(std::size_t readChunk = std::size_t(256) << 10,
                         std::size_t window = std::size_t(1) << 20,
                         std::size_t initialCapacity = CAPACITY)
        : _capacity(std::clamp(initialCapacity, window + readChunk, CAPACITY)),
          _buffer(std::make_unique_for_overwrite<unsigned char[]>(_capacity)),
          _readChunk(readChunk), _window(window)
    {
    }

    // The next frame in the buffer, or what stands in its way.
    Next next()
    {
        Next result;
        const std::size_t available = _end - _begin;
        if (available < 4)
            return result;
        const std::uint32_t length = GNP2::readU32(_buffer.get() + _begin);
        result.lengthWord = length;
        if (length < MIN_FRAME) {
            result.status = Status::TooShort;
            return result;
        }
        if (length - 4 > MAX_BODY) {
            result.status = Status::TooLong;
            return result;
        }
        if (available < length)
            return result;
        result.status = Status::Frame;
        result.body = _buffer.get() + _begin + 4;
        result.bodyLength = length - 4;
        _begin += length;
        return result;
    }

    // Where the next read goes and how many bytes it may bring (never 0
    // after next() returned NeedMore).
    struct Space
    {
        unsigned char* data;
        std::size_t size;
    };
    Space prepareRead()
    {
        prepareWrite();
        const std::size_t wanted = std::max(_readChunk, frameBytesMissing());
        return {_buffer.get() + _end, std::min(_capacity - _end, wanted)};
    }
    // Records that `count` bytes were read into the space from prepareRead().
    void commit(std::size_t count) { _end += count; }

    // Bytes received but not yet handed out as frames.
    std::size_t pending() const { return _end - _begin; }

private:
    // Size of the frame at _begin as far as known (4 until the length word is in).
    std::size_t currentFrameSize() const
    {
        if (_end - _begin < 4)
            return 4;
        const std::uint32_t length = GNP2::readU32(_buffer.get() + _begin);
        return std::clamp<std::size_t>(length, MIN_FRAME, CAPACITY);
    }
    std::size_t frameBytesMissing() const
    {
        const std::size_t size = currentFrameSize();
        const std::size_t available = _end - _begin;
        return size > available ? size - available : 0;
    }

    void prepareWrite()
    {
        if (_begin == _end) {
            _begin = _end = 0;
            return;
        }
        const std::size_t available = _end - _begin;
        const std::size_t frameSize = currentFrameSize();
        if (frameSize > _capacity) {
            const std::size_t capacity = std::min(CAPACITY, std::max(frameSize, _capacity * 2));
            auto grown = std::make_unique_for_overwrite<unsigned char[]>(capacity);
            std::memcpy(grown.get(), _buffer.get() + _begin, available);
            _buffer = std::move(grown);
            _capacity = capacity;
            _begin = 0;
            _end = available;
            return;
        }
        const bool frameDoesNotFit = _begin + frameSize > _capacity;
        const bool windowUsedUp = _end + _readChunk > _window && available < _readChunk;
        if (_begin > 0 && (frameDoesNotFit || windowUsedUp)) {
            std::memmove(_buffer.get(), _buffer.get() + _begin, available);
            _begin = 0;
            _end = available;
        }
    }

    std::size_t _capacity;
    std::unique_ptr<unsigned char[]> _buffer;
    std::size_t _readChunk;
    std::size_t _window;
    std::size_t _begin = 0; // first byte not yet handed out
    std::size_t _end = 0;   // one past the last byte read
};

} // namespace GNP2
