#include "client/tools/McapWriter.h"

#if ORVANE_HAVE_ZSTD
#include <zstd.h>
#endif
#if ORVANE_HAVE_LZ4
#include <lz4frame.h>
#endif

#include <algorithm>
#include <array>
#include <bit>
#include <cassert>
#include <cstring>
#include <ostream>
#include <tuple>

namespace orvane::mcap {

namespace {

constexpr char MAGIC[] = "\x89MCAP0\r\n";
constexpr std::size_t MAGIC_SIZE = 8;

enum Opcode : unsigned char
{
    HEADER = 0x01,
    FOOTER = 0x02,
    SCHEMA = 0x03,
    CHANNEL = 0x04,
    MESSAGE = 0x05,
    CHUNK = 0x06,
    MESSAGE_INDEX = 0x07,
    CHUNK_INDEX = 0x08,
    STATISTICS = 0x0B,
    SUMMARY_OFFSET = 0x0E,
    DATA_END = 0x0F,
};

// Sixteen tables of the reflected polynomial 0xEDB88320, for sixteen bytes a
// step.
using CrcTables = std::array<std::array<std::uint32_t, 256>, 16>;

constexpr CrcTables makeCrcTables()
{
    CrcTables t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k)
            c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        t[0][i] = c;
    }
    for (std::size_t k = 1; k < 16; ++k)
        for (std::size_t i = 0; i < 256; ++i)
            t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
    return t;
}

constexpr CrcTables CRC_TABLES = makeCrcTables();

void put8(std::string& out, unsigned char v)
{
    out.push_back(char(v));
}

// `v` little-endian at `out`.
template <class T> void store(char* out, T v)
{
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(out, &v, sizeof v);
    } else {
        for (std::size_t i = 0; i < sizeof v; ++i)
            out[i] = char(v >> (8 * i));
    }
}

template <class T> void put(std::string& out, T v)
{
    char bytes[sizeof v];
    store(bytes, v);
    out.append(bytes, sizeof v);
}

void put16(std::string& out, std::uint16_t v)
{
    put(out, v);
}

void put32(std::string& out, std::uint32_t v)
{
    put(out, v);
}

void put64(std::string& out, std::uint64_t v)
{
    put(out, v);
}

void patch64(std::string& out, std::size_t at, std::uint64_t v)
{
    store(out.data() + at, v);
}

// Products modulo the CRC polynomial, for joining the CRCs of two runs of
// bytes without reading the bytes again (the chunk's records are read once
// for the chunk's CRC and the data section's).
constexpr std::uint32_t multiplyModP(std::uint32_t a, std::uint32_t b)
{
    std::uint32_t m = 1u << 31, product = 0;
    for (;;) {
        if (a & m) {
            product ^= b;
            if ((a & (m - 1)) == 0)
                break;
        }
        m >>= 1;
        b = b & 1 ? (b >> 1) ^ 0xEDB88320u : b >> 1;
    }
    return product;
}

// x^(2^k) modulo the polynomial, k = 0 ... 31.
constexpr std::array<std::uint32_t, 32> makePowers()
{
    std::array<std::uint32_t, 32> powers{};
    std::uint32_t p = 1u << 30; // x^1
    powers[0] = p;
    for (std::size_t k = 1; k < 32; ++k)
        powers[k] = p = multiplyModP(p, p);
    return powers;
}

constexpr std::array<std::uint32_t, 32> POWERS = makePowers();

// The CRC of A followed by B, from the CRCs of A and B and the length of B.
std::uint32_t crc32Combine(std::uint32_t a, std::uint32_t b, std::uint64_t lengthB)
{
    std::uint32_t p = 1u << 31; // x^0
    for (unsigned k = 3; lengthB; lengthB >>= 1, ++k)
        if (lengthB & 1)
            p = multiplyModP(POWERS[k & 31], p);
    return multiplyModP(p, a) ^ b;
}

void putString(std::string& out, const std::string& text)
{
    put32(out, std::uint32_t(text.size()));
    out += text;
}

// Starts a record of `opcode` in `out`; returns where its length goes.
std::size_t beginRecord(std::string& out, Opcode opcode)
{
    put8(out, opcode);
    put64(out, 0);
    return out.size() - 8;
}

void endRecord(std::string& out, std::size_t lengthAt)
{
    patch64(out, lengthAt, out.size() - lengthAt - 8);
}

// `records` compressed into `out`; false when the library failed.
bool compress(Compression compression, const std::string& records, std::string& out)
{
    std::size_t n = 0;
    bool failed = true;
    switch (compression) {
    case Compression::Zstd:
#if ORVANE_HAVE_ZSTD
        out.resize(ZSTD_compressBound(records.size()));
        n = ZSTD_compress(out.data(), out.size(), records.data(), records.size(), 3);
        failed = ZSTD_isError(n);
#endif
        break;
    case Compression::Lz4: {
#if ORVANE_HAVE_LZ4
        LZ4F_preferences_t preferences{};
        preferences.frameInfo.contentSize = records.size();
        out.resize(LZ4F_compressFrameBound(records.size(), &preferences));
        n = LZ4F_compressFrame(out.data(), out.size(), records.data(), records.size(),
                               &preferences);
        failed = LZ4F_isError(n);
#endif
        break;
    }
    case Compression::None:
        break;
    }
    if (failed)
        return false;
    out.resize(n);
    return true;
}

const char* compressionName(Compression compression)
{
    switch (compression) {
    case Compression::Zstd:
        return "zstd";
    case Compression::Lz4:
        return "lz4";
    case Compression::None:
        break;
    }
    return "";
}

} // namespace

std::uint32_t crc32(std::uint32_t crc, const void* data, std::size_t size)
{
    const auto* p = static_cast<const unsigned char*>(data);
    const auto& t = CRC_TABLES;
    crc = ~crc;
    while (size >= 16) {
        const std::uint32_t a = crc ^ (std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 |
                                       std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24);
        crc = t[15][a & 0xFF] ^ t[14][(a >> 8) & 0xFF] ^ t[13][(a >> 16) & 0xFF] ^ t[12][a >> 24] ^
              t[11][p[4]] ^ t[10][p[5]] ^ t[9][p[6]] ^ t[8][p[7]] ^ t[7][p[8]] ^ t[6][p[9]] ^
              t[5][p[10]] ^ t[4][p[11]] ^ t[3][p[12]] ^ t[2][p[13]] ^ t[1][p[14]] ^ t[0][p[15]];
        p += 16;
        size -= 16;
    }
    while (size--)
        crc = t[0][(crc ^ *p++) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

Writer::Writer(std::ostream& out, Options options) : _out(out), _options(std::move(options))
{
    _scratch.assign(MAGIC, MAGIC_SIZE);
    const std::size_t at = beginRecord(_scratch, HEADER);
    putString(_scratch, _options.profile);
    putString(_scratch, _options.library);
    endRecord(_scratch, at);
    emit(_scratch);
    _chunk.reserve(_options.chunkSize + (_options.chunkSize >> 3));
}

void Writer::emit(const std::string& bytes)
{
    emit(bytes, crc32(0, bytes.data(), bytes.size()));
}

void Writer::emit(const std::string& bytes, std::uint32_t crc)
{
    _out.write(bytes.data(), std::streamsize(bytes.size()));
    _dataCrc = crc32Combine(_dataCrc, crc, bytes.size());
    _position += bytes.size();
}

std::uint16_t Writer::addSchema(const std::string& name, const std::string& encoding,
                                const std::string& data)
{
    const auto id = std::uint16_t(_schemaRecords.size() + 1);
    std::string record;
    const std::size_t at = beginRecord(record, SCHEMA);
    put16(record, id);
    putString(record, name);
    putString(record, encoding);
    putString(record, data);
    endRecord(record, at);
    emit(record);
    _schemaRecords.push_back(std::move(record));
    return id;
}

std::uint16_t Writer::addChannel(std::uint16_t schema, const std::string& topic,
                                 const std::string& messageEncoding)
{
    const auto id = std::uint16_t(_channels.size());
    std::string record;
    const std::size_t at = beginRecord(record, CHANNEL);
    put16(record, id);
    put16(record, schema);
    putString(record, topic);
    putString(record, messageEncoding);
    put32(record, 0); // no metadata
    endRecord(record, at);
    emit(record);
    _channelRecords.push_back(std::move(record));
    _channels.push_back({schema, topic, messageEncoding, 0, {}});
    return id;
}

std::string& Writer::beginMessage(std::uint16_t channel, std::uint64_t time)
{
    assert(!_finished && channel < _channels.size());
    _messageStart = _chunk.size();
    _messageChannel = channel;
    _messageTime = time;
    put8(_chunk, MESSAGE);
    put64(_chunk, 0);
    put16(_chunk, channel);
    put32(_chunk, _sequence++);
    put64(_chunk, time);
    put64(_chunk, time);
    return _chunk;
}

void Writer::endMessage()
{
    endRecord(_chunk, _messageStart + 1);
    ChannelInfo& channel = _channels[_messageChannel];
    channel.index.emplace_back(_messageTime, _messageStart);
    ++channel.messages;
    if (_messageCount == 0 || _messageTime < _fileStart)
        _fileStart = _messageTime;
    if (_messageCount == 0 || _messageTime > _fileEnd)
        _fileEnd = _messageTime;
    if (_messageStart == 0) { // the chunk's first message
        _chunkStart = _chunkEnd = _messageTime;
    } else {
        _chunkStart = std::min(_chunkStart, _messageTime);
        _chunkEnd = std::max(_chunkEnd, _messageTime);
    }
    ++_messageCount;
    if (_chunk.size() >= _options.chunkSize)
        flushChunk();
}

void Writer::flushChunk()
{
    if (_chunk.empty())
        return;
    ChunkIndex index{};
    index.start = _chunkStart;
    index.end = _chunkEnd;
    index.offset = _position;
    index.uncompressedSize = _chunk.size();
    // A chunk that does not compress (or a library that fails) is stored
    // as it is; each chunk names its own compression.
    const Compression compression = _options.compression != Compression::None &&
                                            compress(_options.compression, _chunk, _compressed) &&
                                            _compressed.size() < _chunk.size()
                                        ? _options.compression
                                        : Compression::None;
    const std::string* records = compression == Compression::None ? &_chunk : &_compressed;
    index.compressedSize = records->size();
    index.compression = compression;

    _scratch.clear();
    const std::size_t at = beginRecord(_scratch, CHUNK);
    put64(_scratch, _chunkStart);
    put64(_scratch, _chunkEnd);
    put64(_scratch, _chunk.size());
    const std::uint32_t recordsCrc = crc32(0, _chunk.data(), _chunk.size());
    put32(_scratch, recordsCrc);
    putString(_scratch, compressionName(compression));
    put64(_scratch, records->size());
    patch64(_scratch, at, _scratch.size() - at - 8 + records->size());
    emit(_scratch);
    emit(*records, compression == Compression::None ? recordsCrc
                                                    : crc32(0, records->data(), records->size()));
    index.length = _position - index.offset;

    // One Message Index per channel with messages in the chunk.
    _scratch.clear();
    const std::uint64_t indexStart = _position;
    for (std::size_t c = 0; c < _channels.size(); ++c) {
        auto& entries = _channels[c].index;
        if (entries.empty())
            continue;
        index.messageIndexOffsets[std::uint16_t(c)] = indexStart + _scratch.size();
        const std::size_t recordAt = beginRecord(_scratch, MESSAGE_INDEX);
        put16(_scratch, std::uint16_t(c));
        put32(_scratch, std::uint32_t(entries.size() * 16));
        for (const auto& [time, offset] : entries) {
            put64(_scratch, time);
            put64(_scratch, offset);
        }
        endRecord(_scratch, recordAt);
        entries.clear();
    }
    emit(_scratch);
    index.messageIndexLength = _position - indexStart;
    _chunks.push_back(std::move(index));
    _chunk.clear();
}

void Writer::finish()
{
    if (_finished)
        return;
    flushChunk();
    _finished = true;

    _scratch.clear();
    const std::size_t dataEnd = beginRecord(_scratch, DATA_END);
    endRecord(_scratch, dataEnd); // the length is known before the CRC goes in
    put32(_scratch, _dataCrc);
    patch64(_scratch, dataEnd, 4);
    emit(_scratch);

    // The summary: one group of records per opcode, each group's place kept
    // for its Summary Offset.
    const std::uint64_t summaryStart = _position;
    std::string summary;
    std::vector<std::tuple<Opcode, std::uint64_t, std::uint64_t>> groups;
    auto group = [&](Opcode opcode, auto&& writeRecords) {
        const std::size_t start = summary.size();
        writeRecords();
        if (summary.size() > start)
            groups.emplace_back(opcode, summaryStart + start, summary.size() - start);
    };
    group(SCHEMA, [&] {
        for (const auto& record : _schemaRecords)
            summary += record;
    });
    group(CHANNEL, [&] {
        for (const auto& record : _channelRecords)
            summary += record;
    });
    group(CHUNK_INDEX, [&] {
        for (const auto& chunk : _chunks) {
            const std::size_t at = beginRecord(summary, CHUNK_INDEX);
            put64(summary, chunk.start);
            put64(summary, chunk.end);
            put64(summary, chunk.offset);
            put64(summary, chunk.length);
            put32(summary, std::uint32_t(chunk.messageIndexOffsets.size() * 10));
            for (const auto& [channel, offset] : chunk.messageIndexOffsets) {
                put16(summary, channel);
                put64(summary, offset);
            }
            put64(summary, chunk.messageIndexLength);
            putString(summary, compressionName(chunk.compression));
            put64(summary, chunk.compressedSize);
            put64(summary, chunk.uncompressedSize);
            endRecord(summary, at);
        }
    });
    group(STATISTICS, [&] {
        const std::size_t at = beginRecord(summary, STATISTICS);
        put64(summary, _messageCount);
        put16(summary, std::uint16_t(_schemaRecords.size()));
        put32(summary, std::uint32_t(_channels.size()));
        put32(summary, 0); // attachments
        put32(summary, 0); // metadata
        put32(summary, std::uint32_t(_chunks.size()));
        put64(summary, _messageCount ? _fileStart : 0);
        put64(summary, _messageCount ? _fileEnd : 0);
        std::size_t counted = 0;
        for (const auto& channel : _channels)
            counted += channel.messages ? 1 : 0;
        put32(summary, std::uint32_t(counted * 10));
        for (std::size_t c = 0; c < _channels.size(); ++c)
            if (_channels[c].messages) {
                put16(summary, std::uint16_t(c));
                put64(summary, _channels[c].messages);
            }
        endRecord(summary, at);
    });
    const std::uint64_t offsetsStart = summaryStart + summary.size();
    for (const auto& [opcode, start, length] : groups) {
        const std::size_t at = beginRecord(summary, SUMMARY_OFFSET);
        put8(summary, opcode);
        put64(summary, start);
        put64(summary, length);
        endRecord(summary, at);
    }
    const std::size_t footer = beginRecord(summary, FOOTER);
    put64(summary, summaryStart);
    put64(summary, offsetsStart);
    patch64(summary, footer, 8 + 8 + 4);
    put32(summary, crc32(0, summary.data(), summary.size()));
    summary.append(MAGIC, MAGIC_SIZE);
    emit(summary);
    _out.flush();
}

bool compressionAvailable(Compression compression)
{
    switch (compression) {
    case Compression::Zstd:
        return ORVANE_HAVE_ZSTD;
    case Compression::Lz4:
        return ORVANE_HAVE_LZ4;
    case Compression::None:
        break;
    }
    return true;
}

} // namespace orvane::mcap
