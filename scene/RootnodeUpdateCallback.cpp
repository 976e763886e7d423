#include "scene/RootnodeUpdateCallback.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "log/Log.h"
#include "gnp2/Packet.h"
#include "gnp2/ReservedItems.h"
#include "net/PacketRing.h"
#include "net/TCPServer.h"
#include "scene/VisObject.h"

namespace {

double steadySeconds()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

void rootnodeUpdateCallback::SendRingSink::send(GNP2::Packet* packet)
{
    _ring.push(packet);
}

rootnodeUpdateCallback::rootnodeUpdateCallback(PacketRing& receiveRing, PacketRing& sendRing,
                                               const ObjectFactory& factory, osg::Group* sceneRoot,
                                               osg::Group* hudRoot, const ObjectServices& services)
    : _receiveRing(receiveRing), _sendSink(sendRing), _factory(factory), _sceneRoot(sceneRoot),
      _hudRoot(hudRoot), _services(services)
{
}

rootnodeUpdateCallback::~rootnodeUpdateCallback() = default;

void rootnodeUpdateCallback::operator()(osg::Node* node, osg::NodeVisitor* nv)
{
    runOnce();
    // The children are visited only when one of them wants the update
    // traversal (an update callback below it): visiting thousands of
    // objects that want nothing costs time every frame.
    if (node->getNumChildrenRequiringUpdateTraversal() > 0)
        traverse(node, nv);
}

int rootnodeUpdateCallback::runOnce()
{
    std::lock_guard lock(_lock);
    if (_clearPending) {
        if (_sceneRoot)
            _sceneRoot->removeChildren(0, _sceneRoot->getNumChildren());
        if (_hudRoot)
            _hudRoot->removeChildren(0, _hudRoot->getNumChildren());
        _clearPending = false;
    }
    // The clock is read before packets but the first, so a pass applies at
    // least one packet whenever one waits.
    const double start = _clock ? _clock() : steadySeconds();
    // A pass that finds the link's reader held back by flow control (the ring
    // at its mark) waits a moment for more whenever it has emptied the ring:
    // where the reader shares a processor with this thread, it can only
    // refill while this thread waits, and ending the pass instead would
    // leave one ringful a frame.
    const bool flooded = _live && _receiveRing.size() >= TCPServer::FLOW_CONTROL_LEVEL;
    int taken = 0;
    for (;;) {
        GNP2::Packet* packet = _receiveRing.pop();
        if (!packet) {
            // An injected clock ends the pass through budgetSpent() only.
            const double left =
                _clock ? _floodWaitSeconds
                       : std::min(_floodWaitSeconds, BUDGET_SECONDS - (steadySeconds() - start));
            if (!flooded || left <= 0.0 ||
                !_receiveRing.waitNotEmpty(std::chrono::microseconds(std::int64_t(left * 1e6))))
                break;
            continue;
        }
        // While this packet is applied, the processor fetches, a step at a
        // time so that each step finds what the previous one fetched: the
        // memory of the third packet from here (decoded on the receive
        // thread's core), the state of the object the second one goes to,
        // and the parts of the object the next one goes to.
        if (const GNP2::Packet* later = _receiveRing.peek(2))
            later->prefetch();
        if (const GNP2::Packet* second = _receiveRing.peek(1))
            if (const VisObject* object = target(*second))
                object->prefetch();
        if (const GNP2::Packet* next = _receiveRing.front())
            if (VisObject* object = target(*next)) {
                object->prefetchParts();
                if (_recorder)
                    object->recordImage().prefetch();
            }
        apply(packet);
        ++taken;
        if (budgetSpent(start, taken))
            break;
    }
    _applied += std::uint64_t(taken);
    return taken;
}

bool rootnodeUpdateCallback::budgetSpent(double start, int taken) const
{
    if (!_clock)
        return taken % CLOCK_STRIDE == 0 && steadySeconds() - start >= BUDGET_SECONDS;
    // An injected clock is looked at only when another packet waits, as
    // tests count the looks.
    return !_receiveRing.empty() && _clock() - start >= BUDGET_SECONDS;
}

VisObject* rootnodeUpdateCallback::target(const GNP2::Packet& packet) const
{
    const int connection = GNP2::connectionOf(packet);
    const auto objectNumber = std::size_t(GNP2::objectNumber(packet.header()));
    if (connection < 0 || std::size_t(connection) >= _objectTable.size())
        return nullptr;
    const std::vector<VisObject*>& objects = _objectTable[std::size_t(connection)];
    return objectNumber < objects.size() ? objects[objectNumber] : nullptr;
}

void rootnodeUpdateCallback::apply(GNP2::Packet* packet)
{
    VisObject* object = nullptr;
    try {
        object = dispatch(*packet);
        if (object) {
            object->update(*packet);
            if (_recorder)
                _recorder->recordWithImage(object->getPacket(), object->recordImage());
            else
                object->getPacket().clearChanged();
        }
    } catch (const GNP2::GNP2Exception& error) {
        // The object's update let a packet error pass (or the packet had no
        // connection number): drop this packet, keep the stream going.
        const char* name = object ? object->className() : "ObjectManager";
        VisObject::reportFailure(VisObject::Phase::Updating, name, error);
        if (object)
            object->getPacket().clearChanged();
    } catch (const std::exception& error) {
        const char* name = object ? object->className() : "ObjectManager";
        std::printf("%s\n%s\n", VisObject::failureLine(VisObject::Phase::Updating, name).c_str(),
                    error.what());
        std::fflush(stdout);
        if (object)
            object->getPacket().clearChanged();
    }
    delete packet;
}

VisObject* rootnodeUpdateCallback::dispatch(GNP2::Packet& packet)
{
    const int objectNumber = int(GNP2::objectNumber(packet.header()));
    // Read in place: this runs for every packet of the stream.
    const int connection = GNP2::connectionOf(packet);
    if (connection < 0)
        throw GNP2::GNP2Exception(GNP2::ACCESSOR_ERROR, GNP2::ITEM_CONNECTION);

    if (_objectTable.size() <= std::size_t(connection))
        _objectTable.resize(std::size_t(connection) + 1);
    std::vector<VisObject*>& objects = _objectTable[std::size_t(connection)];
    if (objects.size() <= std::size_t(objectNumber))
        objects.resize(std::size_t(objectNumber) + 1, nullptr);

    // A replayed record carries the time it was recorded at (time packets are
    // not recorded): that time becomes the current one, so replayed objects
    // get exactly their recorded state and the process-wide time follows the
    // replay.
    if (_replaying) {
        if (const std::optional<float> time = GNP2::timeOf(packet))
            _currentTime = *time;
    }

    VisObject*& entry = objects[std::size_t(objectNumber)];
    if (entry) {
        stampTime(packet);
        return entry;
    }

    const int code = int(GNP2::typeCode(packet.header()));
    if (code == TYPE_TimePacket) {
        if (const std::optional<float> time = GNP2::timeOf(packet))
            _currentTime = *time;
        return nullptr;
    }
    const ObjectKind* kind = findObjectKind(code);
    const ObjectContext context{_live ? &_sendSink : nullptr, _services};
    VisObject* object = kind ? _factory.create(code, context) : nullptr;
    if (!object) {
        reportUnknownKind(connection, code);
        return nullptr;
    }
    osg::ref_ptr<VisObject> keep(object);
    if (kind->parent == ObjectParent::SceneRoot && _sceneRoot)
        _sceneRoot->addChild(object);
    else if (kind->parent == ObjectParent::HudRoot && _hudRoot)
        _hudRoot->addChild(object);
    else
        _detached.push_back(keep);
    entry = object;
    stampTime(packet);
    object->initialize(packet);
    return object;
}

void rootnodeUpdateCallback::stampTime(GNP2::Packet& packet) const
{
    GNP2::setTime(packet, _currentTime);
}

void rootnodeUpdateCallback::reportUnknownKind(int connection, int code)
{
    if (!_reportedKinds.insert({connection, code}).second)
        return;
    const ObjectKind* kind = findObjectKind(code);
    std::string line = "[ObjectManager] Packet with type code " + std::to_string(code) +
                       " from connection " + std::to_string(connection) + " ignored: ";
    line += kind ? std::string(kind->className) + " is not available in this build"
                 : std::string("no object type has this code");
    console::writeLine(console::LEVEL_8, line);
}

void rootnodeUpdateCallback::clearTable()
{
    std::lock_guard lock(_lock);
    _objectTable.clear();
    _detached.clear();
    _clearPending = true;
}

void rootnodeUpdateCallback::setLive(bool live)
{
    _live = live;
}

void rootnodeUpdateCallback::setReplaying(bool replaying)
{
    _replaying = replaying;
}

void rootnodeUpdateCallback::setRecorder(StateRecorder* recorder)
{
    _recorder = recorder;
}

void rootnodeUpdateCallback::setClock(Clock clock)
{
    _clock = std::move(clock);
}

VisObject* rootnodeUpdateCallback::findObject(int connection, int objectNumber) const
{
    std::lock_guard lock(_lock);
    if (connection < 0 || std::size_t(connection) >= _objectTable.size())
        return nullptr;
    const auto& objects = _objectTable[std::size_t(connection)];
    if (objectNumber < 0 || std::size_t(objectNumber) >= objects.size())
        return nullptr;
    return objects[std::size_t(objectNumber)];
}

VisObject* rootnodeUpdateCallback::findObjectOfAnyConnection(int objectNumber) const
{
    std::lock_guard lock(_lock);
    for (const auto& objects : _objectTable)
        if (objectNumber >= 0 && std::size_t(objectNumber) < objects.size() &&
            objects[std::size_t(objectNumber)])
            return objects[std::size_t(objectNumber)];
    return nullptr;
}

std::size_t rootnodeUpdateCallback::objectCount() const
{
    std::lock_guard lock(_lock);
    std::size_t count = 0;
    for (const auto& objects : _objectTable)
        for (VisObject* object : objects)
            count += object != nullptr;
    return count;
}
