#pragma once
// The hub between the packet stream and the scene. The object manager owns
// the TCP server and its two packet rings, installs the update callback that
// turns packets into scene objects on the scene root, and runs the
// connection state machine: Offline until a simulation connects, Online
// while one is connected (the server's threads may run, objects may answer
// the simulation), and back when it leaves.
//
// While online every applied packet's object state is recorded to the
// temporary replay file; when the simulation leaves, that recording is
// replayed (state Replay), unless the setting "Replay/disabled" is set.
// replayTick() feeds the replay's records for a time into the receive ring,
// where the update callback applies them like live packets.
//
// Threading: GUI thread only (a QObject with a 10 ms status timer). The
// server's threads meet it only through the rings and the server's atomic
// flags.

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>

#include <osg/Group>
#include <osg/ref_ptr>

#include "net/PacketRing.h"
#include "replay/Recorder.h"
#include "replay/RecordingSlot.h"
#include "replay/ReplayManager.h"
#include "scene/ObjectKinds.h"
#include "scene/RootnodeUpdateCallback.h"

class TCPServer;

class ObjectManager : public QObject
{
    Q_OBJECT

public:
    enum State
    {
        Offline = 0,
        Online = 1,
        Replay = 2,
    };

    static constexpr int STATUS_INTERVAL_MS = 10;

    // Creates the rings and the server (which starts listening at once),
    // installs the update callback on the scene root and starts the status
    // timer. The factory and the services must outlive the manager; every
    // object it makes gets the services.
    ObjectManager(osg::Group* sceneRoot, osg::Group* hudRoot, int port,
                  const ObjectServices& services, const QString& workingDirectory,
                  const ObjectFactory& factory, QObject* parent = nullptr);
    ~ObjectManager() override;

    State state() const { return _state; }
    TCPServer& server() { return *_server; }
    PacketRing& receiveRing() { return _receiveRing; }
    PacketRing& sendRing() { return _sendRing; }
    rootnodeUpdateCallback& updateCallback() { return *_callback; }
    const QString& workingDirectory() const { return _workingDirectory; }
    // The temporary recording: working directory + "/Temp/Orvane.dat", or,
    // while another viewer records there, a file of this viewer's own beside
    // it (see RecordingSlot), taken when the first run begins.
    QString temporaryReplayPath() const;
    // Ends the recording of the current run, if any, and moves the recorded
    // run to a dated name under Temp/ that outlives the viewer; says where
    // on the console. Returns the new path, empty when nothing was kept. For
    // an ending that cannot ask whether to save the run (a signal, a lost
    // display).
    QString keepRecording();
    // The runs a viewer kept that way in this working directory.
    QStringList keptRecordings() const;
    // Records of the latest run in the temporary recording (0 before the
    // first run and when recording is off).
    std::size_t recordedRecords() const { return _recorder.recordCount(); }
    // Writes what the recorder buffers into the temporary recording, so that
    // a copy taken now holds the run so far.
    void flushRecording() { _recorder.flush(); }
    // The recorder of the temporary recording (what the update callback
    // records into while online and replay is enabled).
    ReplayRecorder* recorder() { return &_recorder; }

    // Applies what is still queued, then empties the object table and has the
    // next update traversal remove every object from the scene; resets the
    // views and switches the lights off.
    void clearScene();

    // Drops the current replay and plays the file at `path` (state Replay),
    // or goes Offline when replay is disabled.
    void startReplay(const QString& path);
    // The same for a file the user chose, which may be anything: a file that
    // holds no replay record (an empty one, a picture) is refused, and the
    // state and the current replay stay as they are. Returns why it was
    // refused, empty when it plays.
    QString openReplay(const QString& path);
    // Feeds the replay's records for replay time t into the receive ring,
    // unless the ring still holds the previous feed. Moving the time by any
    // distance, either way, brings every object updated in between to its
    // recorded state at t. Records beyond a ringful are applied at once
    // (through the update callback), so that the ring ends with at most one
    // ringful and the next frame shows the whole of t; then one pause.
    void replayTick(float t);
    // Told how far the indexing of a replay file being opened has come (see
    // ReplayManager::Progress); empty: nobody is told.
    void setReplayProgress(ReplayManager::Progress progress)
    {
        _replayProgress = std::move(progress);
    }
    const ReplayManager::Progress& replayProgress() const { return _replayProgress; }
    // The current replay, or null.
    ReplayManager* replay() const { return _replay.get(); }
    bool replayEnabled() const { return _replayEnabled; }
    // The pause after the feed of a tick's replay records (10 ms; tests set 0).
    void setReplayFeedPause(int milliseconds) { _feedPauseMs = milliseconds; }
    int replayFeedPause() const { return _feedPauseMs; }

public slots:
    // The connection state machine, every 10 ms: a run begins with each
    // connection and ends with it, even when the next connection follows
    // within one poll.
    void updateStatus();

signals:
    void statusChanged();

private:
    void setState(State state);
    // Plays `replay` (state Replay), or goes Offline without one.
    void play(std::unique_ptr<ReplayManager> replay);
    void dropReplay();

    osg::ref_ptr<osg::Group> _sceneRoot;
    osg::ref_ptr<osg::Group> _hudRoot;
    const ObjectServices _services;
    const QString _workingDirectory;
    State _state = Offline;
    // The number (TCPServer::connections()) of the connection whose run is
    // online or was online last; 0 before the first.
    std::uint64_t _runConnection = 0;
    PacketRing _receiveRing;
    PacketRing _sendRing;
    std::unique_ptr<TCPServer> _server;
    osg::ref_ptr<rootnodeUpdateCallback> _callback;
    ReplayRecorder _recorder;
    RecordingSlot _slot;
    // Whether the recorder's failure has been said (once per run).
    bool _failureSaid = false;
    std::unique_ptr<ReplayManager> _replay;
    bool _replayEnabled = true;
    // The replay time the scene was last brought to, none after a clear.
    std::optional<float> _fedTime;
    // Records of the current feed not yet in the ring (the ring is drained
    // by this same thread, so the feed must not wait for room).
    std::deque<GNP2::Packet*> _pending;
    int _feedPauseMs = 10;
    ReplayManager::Progress _replayProgress;
    QTimer _statusTimer;
};
