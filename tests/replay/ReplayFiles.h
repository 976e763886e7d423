#pragma once
// Writes replay files byte by byte, independently of the recorder, so the
// reader is tested against the public format and the recorder against an
// independent writer.
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "orvane/Protocol.h"

namespace replay_files {

inline void u32(std::vector<unsigned char>& out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

inline void f32(std::vector<unsigned char>& out, float f)
{
    std::uint32_t bits;
    std::memcpy(&bits, &f, 4);
    u32(out, bits);
}

// A record of a packet body (header word and item records): time stamp,
// length word, body.
inline std::vector<unsigned char> recordOfBody(float time, const std::vector<unsigned char>& body)
{
    std::vector<unsigned char> out;
    f32(out, time);
    u32(out, std::uint32_t(body.size() + 4));
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

// One record of an object state: time stamp, then the frame of a packet with
// item 0 = {time}, item 1 = {x, 0, 0} and item 13 = {connection}.
inline std::vector<unsigned char> record(float time, std::uint32_t header, float x,
                                         int connection = 0)
{
    std::vector<unsigned char> body;
    u32(body, header);
    body.push_back(orvane::item::Time);
    u32(body, 1);
    body.push_back(5);
    f32(body, time);
    body.push_back(orvane::item::shape::Position);
    u32(body, 3);
    body.push_back(5);
    f32(body, x);
    f32(body, 0.f);
    f32(body, 0.f);
    body.push_back(orvane::item::Connection);
    u32(body, 1);
    body.push_back(3);
    u32(body, std::uint32_t(connection));
    return recordOfBody(time, body);
}

class TempFile
{
public:
    explicit TempFile(const std::string& name)
        : _path(std::filesystem::temp_directory_path() /
                ("orvane-test-" + std::to_string(::getpid()) + "-" + name))
    {
    }
    ~TempFile() { std::filesystem::remove(_path); }
    std::string path() const { return _path.string(); }
    void write(const std::vector<unsigned char>& bytes) const
    {
        std::ofstream out(_path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    std::vector<unsigned char> read() const
    {
        std::ifstream in(_path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

private:
    std::filesystem::path _path;
};

inline void append(std::vector<unsigned char>& file, const std::vector<unsigned char>& rec)
{
    file.insert(file.end(), rec.begin(), rec.end());
}

} // namespace replay_files
