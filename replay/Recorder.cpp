#include "replay/Recorder.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "gnp2/Packet.h"

ReplayRecorder::ReplayRecorder() : _buffer(RECORD_BUFFER_SIZE) {}

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
    // A large stdio buffer: records are small and written one by one.
    std::setvbuf(_file.get(), nullptr, _IOFBF, std::size_t(1) << 20);
    return {};
}

void ReplayRecorder::close()
{
    _file.reset();
}

void ReplayRecorder::flush()
{
    if (_file)
        std::fflush(_file.get());
}

void ReplayRecorder::record(GNP2::Packet& state)
{
    if (!_file) {
        state.clearChanged();
        return;
    }
    const std::size_t size = state.serializedSize() + 4;
    if (_buffer.size() < size)
        _buffer.resize(size);
    float time = 0.0f;
    const GNP2::Item& timeItem = state.item(GNP2::ITEM_TIME);
    if (timeItem.present() && timeItem.type == GNP2::TYPE_FLOAT && timeItem.count >= 1)
        std::memcpy(&time, timeItem.data, 4);
    std::uint32_t bits;
    std::memcpy(&bits, &time, 4);
    GNP2::writeU32(_buffer.data(), bits);
    const std::size_t length = state.serialize(_buffer.data() + 4);
    std::fwrite(_buffer.data(), 1, length + 4, _file.get());
    ++_records;
}
