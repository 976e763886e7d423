#pragma once
// A writer of MCAP files: the open container of time-stamped messages that
// robotics viewers read. The layout it writes:
//
//   magic, Header, Schema and Channel records, then Chunks, each followed by
//   one Message Index record per channel it holds, Data End (with the CRC of
//   everything before it), the summary (Schemas, Channels, Chunk Indexes,
//   Statistics), one Summary Offset per group of the summary, Footer, magic.
//
// All integers are little-endian. Messages are gathered in a chunk buffer
// that is written out when it passes the chunk size, so a file of any length
// is written in bounded memory: what stays in memory is one Chunk Index per
// chunk.
//
// A message is appended in place: beginMessage() writes the record head into
// the chunk buffer and returns it, the caller appends the message's bytes,
// endMessage() fills in the length. No message is copied.

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace orvane::mcap {

// The CRC-32 of the format (the one of zlib and PNG), continued from `crc`
// (0 to start).
std::uint32_t crc32(std::uint32_t crc, const void* data, std::size_t size);

enum class Compression
{
    None,
    Zstd,
    Lz4
};

// The compressions this build can write (None always).
bool compressionAvailable(Compression compression);

class Writer
{
public:
    struct Options
    {
        std::string profile;              // Header: the profile ("" for none)
        std::string library;              // Header: what wrote the file
        std::size_t chunkSize = 1u << 20; // uncompressed bytes after which a chunk is written
        Compression compression = Compression::None;
    };

    // Writes the magic and the Header to `out`, which must be binary.
    Writer(std::ostream& out, Options options);

    // A Schema record written at once; its id (from 1).
    std::uint16_t addSchema(const std::string& name, const std::string& encoding,
                            const std::string& data);
    // A Channel record written at once; its id (from 0).
    std::uint16_t addChannel(std::uint16_t schema, const std::string& topic,
                             const std::string& messageEncoding);

    // Starts a Message record of `channel` logged (and published) at `time`
    // nanoseconds; the caller appends the message's bytes to the returned
    // buffer and then calls endMessage().
    std::string& beginMessage(std::uint16_t channel, std::uint64_t time);
    void endMessage();

    // The last chunk, Data End, the summary, the Footer and the magic. The
    // writer takes no messages afterwards.
    void finish();

    // Messages written so far.
    std::uint64_t messageCount() const { return _messageCount; }

private:
    struct ChannelInfo
    {
        std::uint16_t schema;
        std::string topic, encoding;
        std::uint64_t messages = 0;
        // (log time, offset in the chunk's records) of this chunk's messages.
        std::vector<std::pair<std::uint64_t, std::uint64_t>> index;
    };
    struct ChunkIndex
    {
        std::uint64_t start, end, offset, length;
        std::map<std::uint16_t, std::uint64_t> messageIndexOffsets;
        std::uint64_t messageIndexLength, compressedSize, uncompressedSize;
        Compression compression;
    };

    // To the file, counted in the data section's CRC (`crc`: the bytes' own).
    void emit(const std::string& bytes);
    void emit(const std::string& bytes, std::uint32_t crc);
    void flushChunk();

    std::ostream& _out;
    Options _options;
    std::uint64_t _position = 0; // bytes written to the file
    std::uint32_t _dataCrc = 0;  // CRC of the data section so far
    std::vector<std::string> _schemaRecords, _channelRecords;
    std::vector<ChannelInfo> _channels;
    std::vector<ChunkIndex> _chunks;
    std::string _chunk;      // the current chunk's records
    std::string _scratch;    // records built before they are emitted
    std::string _compressed; // the current chunk's records compressed
    std::size_t _messageStart = 0;
    std::uint16_t _messageChannel = 0;
    std::uint64_t _messageTime = 0;
    std::uint64_t _chunkStart = 0, _chunkEnd = 0; // times of the current chunk
    std::uint64_t _fileStart = 0, _fileEnd = 0;   // times of every message
    std::uint64_t _messageCount = 0;
    std::uint32_t _sequence = 0;
    bool _finished = false;
};

} // namespace orvane::mcap
