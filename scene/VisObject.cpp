#include "scene/VisObject.h"

#include <cstdio>

#include "scene/PacketSink.h"

std::atomic<float> VisObject::s_time{0.0f};

VisObject::VisObject(PacketSink* sendQueue) : _sendQueue(sendQueue) {}

VisObject::~VisObject() = default;

void VisObject::sendPacket(GNP2::Packet* packet)
{
    if (!packet)
        return;
    const GNP2::Item& connection = _statePacket.item(items::CONNECTION);
    if (!_sendQueue || !connection.present() || connection.type != GNP2::TYPE_INT ||
        connection.count < 1) {
        delete packet;
        return;
    }
    packet->setHeader(GNP2::makeHeader(GNP2::objectNumber(_statePacket.header()), 0));
    packet->setIntVector(items::CONNECTION, {_statePacket.getIntArray(items::CONNECTION)[0]});
    _sendQueue->send(packet);
}

std::string VisObject::failureLine(Phase phase, std::string_view className,
                                   std::string_view addition)
{
    std::string line = "An error occured while ";
    line += phase == Phase::Initializing ? "initializing " : "updating ";
    line += className;
    line += ". Object will be skipped!";
    line += addition;
    return line;
}

void VisObject::reportFailure(Phase phase, std::string_view className,
                              const GNP2::GNP2Exception& error, std::string_view addition)
{
    const std::string line = failureLine(phase, className, addition);
    std::printf("%s\n%s\nErrorNr: %d\n", line.c_str(), error.what(), error.getErrorNumber());
    std::fflush(stdout);
}

void VisObject::mergeState(const GNP2::Packet& packet)
{
    if (&packet != &_statePacket)
        _statePacket.update(packet);
}

bool VisObject::beginUpdate(const GNP2::Packet& packet)
{
    mergeState(packet);
    if (!_initialized)
        initialize(_statePacket);
    return _initialized;
}

void VisObject::storeTime(const GNP2::Packet& packet)
{
    const GNP2::Item& time = packet.item(items::TIME);
    if (time.present() && time.type == GNP2::TYPE_FLOAT && time.count >= 1)
        s_time.store(packet.getFloatArray(items::TIME)[0], std::memory_order_relaxed);
}

std::span<const float> VisObject::floatItem(const GNP2::Packet& packet, int index,
                                            std::size_t minCount)
{
    const float* data = packet.getFloatArray(index);
    const auto count = static_cast<std::size_t>(packet.count(index));
    if (count < minCount)
        throw GNP2::GNP2Exception(GNP2::ACCESSOR_ERROR, index);
    return {data, count};
}

std::span<const int> VisObject::intItem(const GNP2::Packet& packet, int index, std::size_t minCount)
{
    const int* data = packet.getIntArray(index);
    const auto count = static_cast<std::size_t>(packet.count(index));
    if (count < minCount)
        throw GNP2::GNP2Exception(GNP2::ACCESSOR_ERROR, index);
    return {data, count};
}
