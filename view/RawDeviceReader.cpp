#include "view/RawDeviceReader.h"

#include <QSocketNotifier>

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include <osgGA/EventQueue>

#include "log/Log.h"
#include "view/RawDeviceDecoder.h"

namespace view {

struct RawDeviceReader::Device
{
    int fd = -1;
    std::string name;
    std::unique_ptr<QSocketNotifier> notifier;
};

RawDeviceReader::RawDeviceReader(Target target, Accepting accepting, QObject* parent)
    : QObject(parent), _target(std::move(target)), _accepting(std::move(accepting))
{
}

RawDeviceReader::~RawDeviceReader() = default;

void RawDeviceReader::watch(int fd, const std::string& name)
{
    auto device = std::make_unique<Device>();
    device->fd = fd;
    device->name = name;
    device->notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    Device* raw = device.get();
    QObject::connect(device->notifier.get(), &QSocketNotifier::activated, this,
                     [this, raw] { read(*raw); });
    _devices.push_back(std::move(device));
}

void RawDeviceReader::readAll(int fd)
{
    for (const auto& device : _devices)
        if (device->fd == fd && device->notifier->isEnabled())
            read(*device);
}

int RawDeviceReader::watchedCount() const
{
    int count = 0;
    for (const auto& device : _devices)
        count += device->notifier->isEnabled();
    return count;
}

void RawDeviceReader::read(Device& device)
{
    // hidraw gives one whole report per read; the largest report of a 3D
    // mouse is a few bytes.
    std::uint8_t report[64];
    for (;;) {
        const ssize_t got = ::read(device.fd, report, sizeof(report));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        if (got <= 0) {
            const std::string reason = got < 0 ? std::strerror(errno) : "the device closed";
            console::writeLine(console::LEVEL_8, "[RawDevice] Device " + device.name +
                                                     " stopped delivering input: " + reason);
            device.notifier->setEnabled(false);
            return;
        }
        RawDeviceDecoder::Result decoded =
            RawDeviceDecoder::shared().decode({report, static_cast<std::size_t>(got)});
        if (!decoded.event || (_accepting && !_accepting()))
            continue;
        if (osgGA::EventQueue* queue = _target ? _target() : nullptr)
            queue->userEvent(decoded.event.get());
    }
}

} // namespace view
