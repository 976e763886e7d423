#pragma once
// The hub between the packet stream and the scene. The object manager owns
// the TCP server and its two packet rings, installs the update callback that
// turns packets into scene objects on the scene root, and runs the
// connection state machine: Offline until a simulation connects, Online
// while one is connected (the server's threads may run, objects may answer
// the simulation), and back when it leaves.
//
// Replay: the Replay state, the recorder and replaying a file are added by
// the replay module on top of this class (setRecorder() on the callback and
// the Replay state are the places they attach); until then a disconnect
// leads to Offline.
//
// Threading: GUI thread only (a QObject with a 10 ms status timer). The
// server's threads meet it only through the rings and the server's atomic
// flags.

#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

#include <osg/Group>
#include <osg/ref_ptr>

#include "net/PacketRing.h"
#include "scene/ObjectKinds.h"
#include "scene/RootnodeUpdateCallback.h"

class TCPServer;
class ViewHost;

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
    // timer. The factory must outlive the manager.
    ObjectManager(osg::Group* sceneRoot, osg::Group* hudRoot, int port, ViewHost* viewHost,
                  const QString& workingDirectory, const ObjectFactory& factory,
                  QObject* parent = nullptr);
    ~ObjectManager() override;

    State state() const { return _state; }
    TCPServer& server() { return *_server; }
    PacketRing& receiveRing() { return _receiveRing; }
    PacketRing& sendRing() { return _sendRing; }
    rootnodeUpdateCallback& updateCallback() { return *_callback; }
    const QString& workingDirectory() const { return _workingDirectory; }
    // The temporary recording: working directory + "/Temp/Orvane.dat".
    QString temporaryReplayPath() const;

    // Applies what is still queued, then empties the object table and has the
    // next update traversal remove every object from the scene; resets the
    // views and switches the lights off.
    void clearScene();

public slots:
    // The connection state machine, every 10 ms.
    void updateStatus();

signals:
    void statusChanged();

private:
    void setState(State state);

    osg::ref_ptr<osg::Group> _sceneRoot;
    osg::ref_ptr<osg::Group> _hudRoot;
    ViewHost* _viewHost;
    const QString _workingDirectory;
    State _state = Offline;
    PacketRing _receiveRing;
    PacketRing _sendRing;
    std::unique_ptr<TCPServer> _server;
    osg::ref_ptr<rootnodeUpdateCallback> _callback;
    QTimer _statusTimer;
};
