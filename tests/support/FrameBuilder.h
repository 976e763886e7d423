#pragma once
// Builds wire bytes by hand, independently of the packet's own serializer,
// so that decoder tests do not trust the code they test.
#include <cstdint>
#include <cstring>
#include <vector>

namespace testing_frames {

class Body
{
public:
    explicit Body(std::uint32_t header) { u32(header); }

    Body& record(int index, std::int32_t count, int type, const void* data, std::size_t bytes)
    {
        _bytes.push_back(static_cast<unsigned char>(index));
        u32(static_cast<std::uint32_t>(count));
        _bytes.push_back(static_cast<unsigned char>(type));
        const auto* p = static_cast<const unsigned char*>(data);
        _bytes.insert(_bytes.end(), p, p + bytes);
        return *this;
    }
    Body& floats(int index, std::vector<float> values)
    {
        return record(index, std::int32_t(values.size()), 5, values.data(), values.size() * 4);
    }
    Body& ints(int index, std::vector<std::int32_t> values)
    {
        return record(index, std::int32_t(values.size()), 3, values.data(), values.size() * 4);
    }
    Body& chars(int index, const char* text)
    {
        return record(index, std::int32_t(std::strlen(text)), 1, text, std::strlen(text));
    }
    Body& raw(std::vector<unsigned char> bytes)
    {
        _bytes.insert(_bytes.end(), bytes.begin(), bytes.end());
        return *this;
    }

    const std::vector<unsigned char>& bytes() const { return _bytes; }
    // The whole frame: length word, then the body.
    std::vector<unsigned char> frame() const
    {
        std::vector<unsigned char> f(4);
        const auto length = static_cast<std::uint32_t>(_bytes.size() + 4);
        std::memcpy(f.data(), &length, 4);
        f.insert(f.end(), _bytes.begin(), _bytes.end());
        return f;
    }

private:
    void u32(std::uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            _bytes.push_back(static_cast<unsigned char>(v >> (8 * i)));
    }
    std::vector<unsigned char> _bytes;
};

} // namespace testing_frames
