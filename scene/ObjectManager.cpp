#include "scene/ObjectManager.h"

#include "net/TCPServer.h"
#include "scene/ViewHost.h"

ObjectManager::ObjectManager(osg::Group* sceneRoot, osg::Group* hudRoot, int port,
                             ViewHost* viewHost, const QString& workingDirectory,
                             const ObjectFactory& factory, QObject* parent)
    : QObject(parent), _sceneRoot(sceneRoot), _hudRoot(hudRoot), _viewHost(viewHost),
      _workingDirectory(workingDirectory)
{
    _server = std::make_unique<TCPServer>(port, _receiveRing, _sendRing);
    _callback =
        new rootnodeUpdateCallback(_receiveRing, _sendRing, factory, sceneRoot, hudRoot, viewHost);
    if (_sceneRoot)
        _sceneRoot->setUpdateCallback(_callback.get());
    connect(&_statusTimer, &QTimer::timeout, this, &ObjectManager::updateStatus);
    _statusTimer.start(STATUS_INTERVAL_MS);
}

ObjectManager::~ObjectManager()
{
    _statusTimer.stop();
    // Stop the link before the rings it writes into go away.
    _server.reset();
    if (_sceneRoot && _sceneRoot->getUpdateCallback() == _callback.get())
        _sceneRoot->setUpdateCallback(nullptr);
}

QString ObjectManager::temporaryReplayPath() const
{
    return _workingDirectory + "/Temp/Orvane.dat";
}

void ObjectManager::updateStatus()
{
    const int clients = _server->clientCount();
    if (clients > 0 && _state != Online) {
        clearScene();
        _server->setEnabled(true);
        _callback->setLive(true);
        setState(Online);
    } else if (clients == 0 && _state == Online) {
        _server->setEnabled(false);
        _callback->setLive(false);
        clearScene();
        setState(Offline);
    }
}

void ObjectManager::clearScene()
{
    // Packets already received are applied before the scene goes.
    while (!_receiveRing.empty())
        _callback->runOnce();
    if (_viewHost)
        _viewHost->switchLightsOff();
    _callback->clearTable();
    if (_viewHost)
        _viewHost->resetViews();
}

void ObjectManager::setState(State state)
{
    _state = state;
    emit statusChanged();
}
