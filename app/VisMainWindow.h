#pragma once
// The main window: it owns the scene roots, the viewer manager and the
// object manager, carries the menus, the replay toolbar and the status bar,
// and drives everything from one 10 ms timer (advance a running replay,
// render one frame, refresh the status bar).
//
// The window runs the application's event loop inside its own construction:
// the constructor returns when the loop ends (Exit, closing the window), and
// the destructor then stores the window geometry and the shadow switch and
// deletes the object manager. A caller therefore constructs it, lets it go
// out of scope and leaves main.
//
// Threading: GUI thread only. The timer callback, the status refresh and all
// slots are serialised by the event loop.

#include <QMainWindow>
#include <QString>
#include <QTimer>

#include <array>
#include <chrono>
#include <memory>

#include <osg/Group>
#include <osg/ref_ptr>
#include <osgShadow/ShadowedScene>

#include "app/EndingSignals.h"
#include "app/MainWindowStatus.h"
#include "app/MenuTable.h"
#include "app/OfflineNotice.h"
#include "app/ProgramServices.h"
#include "replay/OpeningProgress.h"
#include "replay/ReplayClock.h"
#include "replay/ReplayTransport.h"
#include "scene/ObjectKinds.h"
#include "view/ViewerManager.h"

class QAction;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QMenu;
class QProgressBar;
class QSlider;
class QToolBar;
class ObjectManager;

class VisMainWindow : public QMainWindow
{
    Q_OBJECT

public:
    static constexpr int UPDATE_INTERVAL_MS = 10;
    // A still scene is drawn again at least this often, so that nothing the
    // tick does not watch for stays off the screen for long.
    static constexpr int IDLE_FRAME_INTERVAL_MS = 1000;
    // Traversal masks of the scene root: what receives and what casts shadows.
    static constexpr unsigned RECEIVES_SHADOW_MASK = 0x8;
    static constexpr unsigned CASTS_SHADOW_MASK = 0x16;

    // Builds the window for the simulation link on `port`, shows it and runs
    // the event loop; returns when the loop has ended.
    VisMainWindow(int port, Embedding embedding);
    ~VisMainWindow() override;

    // How often a still scene is drawn again (IDLE_FRAME_INTERVAL_MS).
    void setIdleFrameInterval(std::chrono::milliseconds interval) { _idleFrameInterval = interval; }

    int port() const { return _port; }
    Embedding embedding() const { return _embedding; }
    osgShadow::ShadowedScene* sceneRoot() const { return _sceneRoot.get(); }
    osg::Group* hudRoot() const { return _hudRoot.get(); }
    ViewerManager& viewerManager() { return *_viewerManager; }
    ObjectManager& objectManager() { return *_objectManager; }
    // The action of a menu command; null for a command of the other deliverable.
    QAction* action(MenuCommand command) const { return _actions[std::size_t(command)]; }
    QToolBar* replayToolBar() const { return _replayToolBar; }
    QSlider* timeSlider() const { return _timeSlider; }
    QDoubleSpinBox* timeBox() const { return _timeBox; }
    QSlider* jogDial() const { return _jogDial; }
    QComboBox* speedBox() const { return _speedBox; }
    QLabel* statusLabel() const { return _statusLabel; }
    QLabel* loadingLabel() const { return _loadingLabel; }
    // Shown in the status bar while a replay file that takes long is indexed.
    QProgressBar* replayProgressBar() const { return _replayProgressBar; }
    // How long opening a replay goes unshown (tests set 0).
    void setReplayProgressDelay(double seconds) { _openingProgress.setDelay(seconds); }
    // The port the link listens on, as the status bar shows it.
    QLabel* portLabel() const { return _portLabel; }
    // The words over the empty view while Offline.
    const OfflineNotice& offlineNotice() const { return _offlineNotice; }
    // Whether the recording holds a run that has not been saved since it
    // was recorded: quitting then asks first.
    bool unsavedRun() const;
    bool wireframe() const { return _wireframe; }

    // The scene root as the window sets it up: a shadowed scene (without a
    // shadow technique) with lighting and lights 0-7 on.
    static osg::ref_ptr<osgShadow::ShadowedScene> createSceneRoot();

    // Whether a command's module is part of this build. Entries whose
    // module is missing are shown but stay disabled whatever the state.
    static bool commandAvailable(MenuCommand command);

public slots:
    // Opens the settings dialog on the current port; an accepted new port is
    // the window's from then on, while the running server keeps its own until
    // the next start.
    void settings();
    void takeScreenshot();
    // Opens the video export dialog modally.
    void videoGrabbing();
    // Quits, unless the recording holds an unsaved run and the user cancels
    // when asked about it.
    void quitApplication();
    void showStatusBar();
    void showToolBar();
    // Full screen without menu bar and status bar while "Full Screen" is
    // checked; otherwise showNormal().
    void showFullScreen();
    // Back to a normal 1024 x 768 window at (100, 100) with the menu bar.
    void showNormal();
    void toggleStereoMode();
    void toggleWireframeMode();
    void toggleShadows();
    void toolBarOrientation(Qt::Orientation orientation);
    void disconnectTCPServer();
    void helpDocumentation();
    void helpAbout();
    void statusChanged();
    void timedUpdate();
    // Springs the jog dial back to 0 after every action but a drag.
    void replayJogDialAction(int action);

    // The replay controls.
    void replayStart();
    void replayStop();
    void replayRewind();
    void replayStepForward();
    void replayMoveForward();
    void replayBackstep();
    void replayReverse();
    void replayRepeat();
    void replaySliderTimeMoved(int value);
    void replayTimeChanged(double seconds);
    void replaySpeedChanged(const QString& speed);
    void replayJogDialStart();
    void replayJogDialMoved(int value);
    void replayJogDialStop();
    void replayLoadFile();
    void replaySaveFile();
    // One playback step: feeds the records of the clock's time and moves the
    // slider and the time box along.
    void replayUpdate();

    const ReplayTransport& replayTransport() const { return _transport; }

protected:
    // Closing the window from the window system asks like "Exit"; the close
    // that quitting itself makes does not ask again.
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenus();
    void buildReplayToolBar();
    void buildStatusBar();
    // The status bar's progress of opening a replay, drawn at once: the
    // indexing holds the GUI thread, so no event loop draws it.
    void showReplayProgress(std::uint64_t done, std::uint64_t total);
    void addViewerControls();
    void connectCommand(MenuCommand command);
    void refreshStatus();
    void restoreWindowSettings();
    void storeWindowSettings();
    // Whether the file manager is loading model files (the loading label).
    bool modelFilesLoading() const;
    void showPlayIcon(bool play);
    // Takes the current replay's time range into the transport.
    void takeReplayRange();
    // Asks for a name and copies the temporary recording there; a name
    // without an extension gets ".dat". True when the run was saved.
    bool saveRecording();
    // An ending that cannot ask (a signal, the display gone, `why`): an
    // unsaved run is moved to a dated file under Temp/, and where is said on
    // standard error.
    void keepUnsavedRun(const QString& why);
    // The recording that the object manager writes, and whether the replay
    // is damaged, in the status bar.
    void showRecordingState();
    // Before quitting: asks whether an unsaved run is saved, discarded or
    // the quitting cancelled (unless the user asked not to be asked). True
    // when quitting may go on.
    bool confirmQuit();
    // Whether this tick draws a frame: only when something on screen may
    // change (see timedUpdate()), so that a still scene costs no drawing.
    bool frameNeeded();
    // Notes user input and window changes that reach any widget: the next
    // tick draws.
    bool eventFilter(QObject* watched, QEvent* event) override;

    int _port;
    const Embedding _embedding;
    osg::ref_ptr<osgShadow::ShadowedScene> _sceneRoot;
    osg::ref_ptr<osg::Group> _hudRoot;
    bool _wireframe = false;
    LoadingAnimation _loading;

    std::array<QAction*, MENU_COMMAND_COUNT> _actions{};
    QMenu* _viewMenu = nullptr;
    QToolBar* _replayToolBar = nullptr;
    QSlider* _timeSlider = nullptr;
    QDoubleSpinBox* _timeBox = nullptr;
    QSlider* _jogDial = nullptr;
    QComboBox* _speedBox = nullptr;
    QLabel* _loadingLabel = nullptr;
    QProgressBar* _replayProgressBar = nullptr;
    OpeningProgress _openingProgress{[] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }};
    QLabel* _statusLabel = nullptr;
    QLabel* _portLabel = nullptr;
    OfflineNotice _offlineNotice;
    // Cleared when a run begins, set when the recording is saved.
    bool _runSaved = true;

    QString _workingDirectory;
    ObjectFactory _factory; // outlives the object manager, which reads it
    // What every scene object may use; filled once, outlives the viewer and
    // the object manager.
    ProgramServices _program;
    std::unique_ptr<UserMessages> _messages;
    ObjectServices _services;
    std::unique_ptr<ViewerManager> _viewerManager;
    std::unique_ptr<ObjectManager> _objectManager;
    QTimer _updateTimer;
    // Set by input, window and state changes: the next tick draws a frame.
    bool _frameWanted = true;
    std::chrono::steady_clock::time_point _lastFrame;
    std::chrono::milliseconds _idleFrameInterval{IDLE_FRAME_INTERVAL_MS};
    std::unique_ptr<EndingSignals> _endingSignals;
    ReplayClock _clock;
    ReplayTransport _transport{_clock};
};
