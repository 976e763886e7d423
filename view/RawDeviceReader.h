#pragma once
// Reads the reports of the registered 3D mice (hidraw nodes, or anything
// else that delivers one report per read) as they arrive, decodes them with
// the process's RawDeviceDecoder and puts the resulting rawDeviceEvent
// user events into the event queue that `target` names (the active view's).
// Reports that arrive while the program's window is not focused (`accepting`
// says no) are read and dropped, so that a 3D mouse used in another program
// does not move this one's camera. A device that fails (unplugged) is
// reported once and no longer watched.
//
// Threading: GUI thread only (socket notifiers).

#include <QObject>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QSocketNotifier;

namespace osgGA {
class EventQueue;
}

namespace view {

class RawDeviceReader : public QObject
{
public:
    using Target = std::function<osgGA::EventQueue*()>;
    using Accepting = std::function<bool()>;

    RawDeviceReader(Target target, Accepting accepting, QObject* parent = nullptr);
    ~RawDeviceReader() override;

    // Starts reading a device; the caller keeps the descriptor open.
    void watch(int fd, const std::string& name);
    // Reads everything waiting on a device now.
    void readAll(int fd);
    int watchedCount() const;

private:
    struct Device;
    void read(Device& device);

    Target _target;
    Accepting _accepting;
    std::vector<std::unique_ptr<Device>> _devices;
};

} // namespace view
