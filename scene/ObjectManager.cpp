#include "scene/ObjectManager.h"

#include <chrono>
#include <ctime>
#include <cstdio>
#include <thread>

#include <QFileInfo>

#include "log/Log.h"
#include "gnp2/Packet.h"
#include "net/TCPServer.h"
#include "scene/ViewHost.h"
#include "settings/Settings.h"

ObjectManager::ObjectManager(osg::Group* sceneRoot, osg::Group* hudRoot, int port,
                             const ObjectServices& services, const QString& workingDirectory,
                             const ObjectFactory& factory, QObject* parent)
    : QObject(parent), _sceneRoot(sceneRoot), _hudRoot(hudRoot), _services(services),
      _workingDirectory(workingDirectory)
{
    _server = std::make_unique<TCPServer>(port, _receiveRing, _sendRing);
    _callback =
        new rootnodeUpdateCallback(_receiveRing, _sendRing, factory, sceneRoot, hudRoot, services);
    if (_sceneRoot)
        _sceneRoot->setUpdateCallback(_callback.get());
    connect(&_statusTimer, &QTimer::timeout, this, &ObjectManager::updateStatus);
    _statusTimer.start(STATUS_INTERVAL_MS);
    _replayEnabled =
        !settings::mendedFlag(settings::openSettings(), settings::SettingKey::ReplayDisabled);
}

ObjectManager::~ObjectManager()
{
    _statusTimer.stop();
    // Stop the link before the rings it writes into go away.
    _server.reset();
    if (_sceneRoot && _sceneRoot->getUpdateCallback() == _callback.get())
        _sceneRoot->setUpdateCallback(nullptr);
    _callback->setRecorder(nullptr);
    dropReplay();
    _recorder.close();
    // Only this viewer's own recording: another viewer may be writing its own.
    _slot.remove();
}

QString ObjectManager::temporaryReplayPath() const
{
    if (_slot.held())
        return QString::fromStdString(_slot.path());
    return _workingDirectory + "/Temp/" + RecordingSlot::FIRST_NAME;
}

QString ObjectManager::keepRecording()
{
    _callback->setRecorder(nullptr);
    _recorder.close();
    if (!_slot.held() || QFileInfo(temporaryReplayPath()).size() == 0)
        return {};
    const QString kept = QString::fromStdString(_slot.keep(std::time(nullptr)));
    if (kept.isEmpty())
        console::writeLine(console::LEVEL_32, "[ObjectManager] The run could not be kept: " +
                                                  temporaryReplayPath().toStdString());
    else
        console::writeLine(console::LEVEL_32,
                           "[ObjectManager] The run is kept in " + kept.toStdString());
    return kept;
}

QStringList ObjectManager::keptRecordings() const
{
    QStringList kept;
    for (const std::string& path :
         RecordingSlot::keptRecordings((_workingDirectory + "/Temp").toStdString()))
        kept << QString::fromStdString(path);
    return kept;
}

void ObjectManager::updateStatus()
{
    // Starts and ends are counted, not sampled: a connection that ends and
    // the next that starts between two polls are two runs, not one.
    const TCPServer::Connections link = _server->connections();
    if (!_failureSaid) {
        const std::string failure = _recorder.failure();
        if (!failure.empty()) {
            _failureSaid = true;
            console::writeLine(console::LEVEL_32,
                               "[ObjectManager] Recording stopped, " + failure +
                                   ": the run goes on unrecorded; the replay keeps what was "
                                   "recorded before");
            console::show();
        }
    }
    if (_state == Online && link.ended >= _runConnection) {
        _server->setEnabled(false);
        _callback->setLive(false);
        clearScene();
        _recorder.close();
        startReplay(temporaryReplayPath());
    }
    if (link.started > link.ended && link.started > _runConnection) {
        clearScene();
        // A run that cannot be recorded is said at once, not discovered
        // when the replay comes up empty.
        std::string error;
        if (!_slot.held()) {
            const std::string directory = (_workingDirectory + "/Temp").toStdString();
            error = _slot.take(directory);
            if (_slot.held() &&
                temporaryReplayPath() != _workingDirectory + "/Temp/" + RecordingSlot::FIRST_NAME)
                console::writeLine(console::LEVEL_32, "[ObjectManager] Another viewer records to " +
                                                          directory + "/" +
                                                          RecordingSlot::FIRST_NAME +
                                                          "; this one records to " + _slot.path());
        }
        if (error.empty())
            error = _recorder.open(_slot.path());
        _failureSaid = false;
        if (!error.empty()) {
            console::writeLine(console::LEVEL_32,
                               "[ObjectManager] This run will not be recorded: " + error);
            console::show();
        }
        _callback->setRecorder(_replayEnabled ? &_recorder : nullptr);
        _callback->setReplaying(false);
        // Each run has its own clock: objects it creates before its first
        // time packet are at time 0, not at the previous run's last time.
        _callback->setCurrentTime(0.0f);
        // Only this connection may run: a later one waits for its own run.
        _runConnection = link.started;
        _server->setEnabled(true, _runConnection);
        _callback->setLive(true);
        setState(Online);
    }
}

void ObjectManager::startReplay(const QString& path)
{
    play(_replayEnabled ? std::make_unique<ReplayManager>(path.toStdString(), _replayProgress)
                        : nullptr);
}

QString ObjectManager::openReplay(const QString& path)
{
    if (!_replayEnabled) {
        play(nullptr);
        return {};
    }
    auto replay = std::make_unique<ReplayManager>(path.toStdString(), _replayProgress);
    if (!replay->is_open())
        return "It cannot be opened for reading.";
    if (replay->fileSize() == 0)
        return "The file is empty.";
    if (!replay->holdsReplay())
        return "It holds no replay record: " + QString::fromStdString(replay->damage()) + ".";
    play(std::move(replay));
    return {};
}

void ObjectManager::play(std::unique_ptr<ReplayManager> replay)
{
    _callback->setRecorder(nullptr);
    _callback->setLive(false);
    if (replay) {
        clearScene();
        _replay = std::move(replay);
        _callback->setReplaying(true);
        setState(Replay);
    } else {
        _callback->setReplaying(false);
        setState(Offline);
    }
}

void ObjectManager::dropReplay()
{
    _replay.reset();
    _fedTime.reset();
    for (GNP2::Packet* packet : _pending)
        delete packet;
    _pending.clear();
}

void ObjectManager::replayTick(float t)
{
    if (!_replay || !_receiveRing.empty())
        return;
    if (_pending.empty()) {
        if (_fedTime && *_fedTime == t)
            return; // the scene already shows t
        for (GNP2::Packet* packet : _replay->getPacketsForMove(_fedTime, t))
            _pending.push_back(packet);
        _fedTime = t;
    }
    // The update callback, the ring's consumer, runs on this thread too: a
    // feed larger than the ring is applied here one ringful at a time, and
    // the last ringful is left for the frame drawn next, which so shows the
    // whole of t. The ring never has to hold more than it can.
    bool fed = false;
    for (;;) {
        while (!_pending.empty() && _receiveRing.tryPush(_pending.front())) {
            _pending.pop_front();
            fed = true;
        }
        if (_pending.empty())
            break;
        _callback->runOnce();
    }
    if (fed && _feedPauseMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(_feedPauseMs));
}

void ObjectManager::clearScene()
{
    dropReplay();
    // Packets already received are applied (and recorded) before the scene goes.
    while (!_receiveRing.empty())
        _callback->runOnce();
    if (_services.viewHost)
        _services.viewHost->switchLightsOff();
    _callback->clearTable();
    if (_services.viewHost)
        _services.viewHost->resetViews();
}

void ObjectManager::setState(State state)
{
    _state = state;
    emit statusChanged();
}
