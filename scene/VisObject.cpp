#include "scene/VisObject.h"

#include <cstdio>

#include "fonts/FontMap.h"
#include "gnp2/ReservedItems.h"
#include "scene/PacketSink.h"

std::atomic<float> VisObject::s_time{0.0f};

VisObject::VisObject(const ObjectContext& context)
    : _sendQueue(context.sendQueue), _services(context.services)
{
}

VisObject::~VisObject() = default;

void VisObject::sendPacket(GNP2::Packet* packet)
{
    if (!packet)
        return;
    const std::int32_t connection = GNP2::connectionOf(_statePacket);
    if (!_sendQueue || connection == GNP2::NO_CONNECTION) {
        delete packet;
        return;
    }
    packet->setHeader(GNP2::makeHeader(GNP2::objectNumber(_statePacket.header()), 0));
    GNP2::setConnection(*packet, connection);
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

void VisObject::initialize(const GNP2::Packet& packet)
{
    if (_initialized)
        return;
    try {
        mergeState(packet);
        const bool built = build(packet);
        storeTime(packet);
        _initialized = built;
    } catch (const GNP2::GNP2Exception& error) {
        reportInitFailure(error);
    }
}

void VisObject::update(const GNP2::Packet& packet)
{
    const Skeleton order = skeleton();
    const auto body = [&] {
        const bool wasBuilt = _initialized;
        if (order.buildBeforeMerge && !_initialized)
            initialize(_statePacket);
        mergeState(packet);
        if (!order.buildBeforeMerge && !_initialized)
            initialize(_statePacket);
        if (order.updateStoresTime)
            storeTime(packet);
        if (_initialized)
            apply(wasBuilt ? packet : _statePacket);
    };
    if (order.guardUpdate)
        guarded(Phase::Updating, order.failureName ? order.failureName : className(), body);
    else
        body();
}

void VisObject::reportInitFailure(const GNP2::GNP2Exception& error) const
{
    const Skeleton order = skeleton();
    if (order.failureLine) {
        reportFailure(Phase::Initializing, order.failureName ? order.failureName : className(),
                      error, order.failureAddition ? order.failureAddition : "");
        return;
    }
    std::printf("%s\nErrorNr: %d\n", error.what(), error.getErrorNumber());
    std::fflush(stdout);
}

void VisObject::showMessage(const std::string& caption, const std::string& text) const
{
    if (_services.messages) {
        _services.messages->showMessage(caption, text);
        return;
    }
    std::printf("%s: %s\n", caption.c_str(), text.c_str());
    std::fflush(stdout);
}

std::string VisObject::fontFile(const std::string& name) const
{
    return _services.fonts ? _services.fonts->fontFile(name) : fonts::resolveFontFile(name);
}

void VisObject::mergeState(const GNP2::Packet& packet)
{
    if (&packet != &_statePacket)
        _statePacket.update(packet);
}

void VisObject::storeTime(const GNP2::Packet& packet)
{
    if (const std::optional<float> time = GNP2::timeOf(packet))
        s_time.store(*time, std::memory_order_relaxed);
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
