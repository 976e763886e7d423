#include "app/VisMainWindow.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QIcon>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QProxyStyle>
#include <QPushButton>
#include <QRect>
#include <QSignalBlocker>
#include <QShortcut>
#include <QSlider>
#include <QStatusBar>
#include <QToolBar>
#include <QUrl>

#include <osg/DisplaySettings>
#include <osg/Image>
#include <osgDB/WriteFile>

#include <iostream>

#include "app/CommandLine.h"
#include "app/ObjectRegistry.h"
#include "app/MessageBoxes.h"
#include "app/SceneShadows.h"
#include "console/ConsoleHandler.h"
#include "app/SettingDlg.h"
#include "log/Log.h"
#include "files/FileManager.h"
#include "net/TCPServer.h"
#include "scene/ObjectManager.h"
#include "scene/WireframeVisitor.h"
#include "settings/Settings.h"
#include "video/VideoGrabbingDlg.h"
#include "view/CompositeViewerQOSG.h"
#include "view/ViewSettings.h"
#include "view/VisViewObject.h"

namespace {

using settings::SettingKey;

// The window's rectangle without stored geometry, and the one showNormal()
// brings it back to.
QRect defaultGeometry()
{
    auto number = [](SettingKey id) { return settings::defaultValue(id).toInt(); };
    return QRect(number(SettingKey::WindowX), number(SettingKey::WindowY),
                 number(SettingKey::WindowWidth), number(SettingKey::WindowHeight));
}

QString qstr(std::string_view text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

const char* const kSpeeds[] = {"0.01", "0.05", "0.1", "0.2", "0.5", "1",
                               "2",    "5",    "10",  "20",  "50",  "100"};
constexpr int kDefaultSpeedIndex = 5; // "1"

// A slider whose handle jumps to where its groove is clicked, instead of
// paging towards it.
class JumpToClickStyle : public QProxyStyle
{
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override
    {
        if (hint == QStyle::SH_Slider_AbsoluteSetButtons)
            return Qt::LeftButton;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

} // namespace

VisMainWindow::VisMainWindow(int port, Embedding embedding) : _port(port), _embedding(embedding)
{
    console::writeLine(console::LEVEL_4, "Orvane initialized");

    setWindowIcon(QIcon(":/Resources/shapes.png"));
    setWindowTitle("Pellam Orvane");

    _sceneRoot = createSceneRoot();
    _hudRoot = new osg::Group;
    _wireframe = false;

    buildMenus();
    buildReplayToolBar();
    buildStatusBar();

    _workingDirectory = QDir::currentPath();

    registerObjectKinds(_factory);
    // Every object reaches these the same way, through its context.
    _messages = std::make_unique<MessageBoxes>(this);
    _services = _program.services();
    _services.messages = _messages.get();
    _viewerManager = std::make_unique<ViewerManager>(this, _sceneRoot.get(), _hudRoot.get(),
                                                     _embedding, _services);
    _services.viewHost = _viewerManager.get();
    _objectManager = std::make_unique<ObjectManager>(_sceneRoot.get(), _hudRoot.get(), _port,
                                                     _services, _workingDirectory, _factory);
    _objectManager->setReplayProgress(
        [this](std::uint64_t done, std::uint64_t total) { showReplayProgress(done, total); });
    addViewerControls();
    // Whatever a menu entry or a tool button changes shows at the next tick.
    for (QAction* entry : _actions)
        if (entry)
            connect(entry, &QAction::triggered, this, [this] { _frameWanted = true; });
    _offlineNotice.attach(*_viewerManager->mainView()->view());
    // Runs a viewer kept when it ended unasked stay until the user moves them.
    for (const QString& kept : _objectManager->keptRecordings()) {
        console::writeLine(console::LEVEL_32,
                           "[ObjectManager] A viewer that ended without asking kept its run in " +
                               kept.toStdString() + " (File -> Open Replay... plays it)");
        console::show();
    }

    connect(_objectManager.get(), &ObjectManager::statusChanged, this,
            &VisMainWindow::statusChanged);
    connect(&_updateTimer, &QTimer::timeout, this, &VisMainWindow::timedUpdate);
    connect(_jogDial, &QSlider::actionTriggered, this, &VisMainWindow::replayJogDialAction);
    connect(_timeSlider, &QSlider::sliderMoved, this, &VisMainWindow::replaySliderTimeMoved);
    // A click into the groove and the slider's keys move the time too.
    connect(_timeSlider, &QSlider::actionTriggered, this,
            [this] { replaySliderTimeMoved(_timeSlider->sliderPosition()); });
    connect(_timeBox, &QDoubleSpinBox::valueChanged, this, &VisMainWindow::replayTimeChanged);
    connect(_speedBox, &QComboBox::currentTextChanged, this, &VisMainWindow::replaySpeedChanged);
    connect(_jogDial, &QSlider::sliderPressed, this, &VisMainWindow::replayJogDialStart);
    connect(_jogDial, &QSlider::sliderReleased, this, &VisMainWindow::replayJogDialStop);
    connect(_jogDial, &QSlider::sliderMoved, this, &VisMainWindow::replayJogDialMoved);

    refreshStatus();
    show();
    restoreWindowSettings();

    _endingSignals = std::make_unique<EndingSignals>([this](int signal) {
        keepUnsavedRun("ended by " + EndingSignals::name(signal));
        // Every event loop ends, a modal dialog's too; nothing is asked.
        QCoreApplication::exit(0);
    });
    EndingSignals::setOnUnexpectedExit([this] { keepUnsavedRun("the window system went away"); });

    qApp->installEventFilter(this);
    _updateTimer.start(UPDATE_INTERVAL_MS);
    QApplication::exec();
}

VisMainWindow::~VisMainWindow()
{
    qApp->removeEventFilter(this);
    EndingSignals::setOnUnexpectedExit(nullptr);
    _endingSignals.reset();
    _updateTimer.stop();
    storeWindowSettings();
    _objectManager.reset();
}

osg::ref_ptr<osgShadow::ShadowedScene> VisMainWindow::createSceneRoot()
{
    osg::ref_ptr<osgShadow::ShadowedScene> root = new osgShadow::ShadowedScene;
    root->setReceivesShadowTraversalMask(RECEIVES_SHADOW_MASK);
    root->setCastsShadowTraversalMask(CASTS_SHADOW_MASK);
    osg::StateSet* state = root->getOrCreateStateSet();
    state->setMode(GL_LIGHTING, osg::StateAttribute::ON);
    for (int light = 0; light < 8; ++light)
        state->setMode(GL_LIGHT0 + light, osg::StateAttribute::ON);
    return root;
}

bool VisMainWindow::commandAvailable(MenuCommand)
{
    // Every command's module is part of this build.
    return true;
}

void VisMainWindow::buildMenus()
{
    QMenu* menu = nullptr;
    for (const MenuEntry& entry : MENU_ENTRIES) {
        if (entry.deliverable == Deliverable::GLOnly)
            continue; // made by the viewer manager, added in addViewerControls()
        QAction* action = entry.icon.empty()
                              ? new QAction(qstr(entry.text), this)
                              : new QAction(QIcon(qstr(entry.icon)), qstr(entry.text), this);
        if (!entry.shortcut.empty())
            action->setShortcut(QKeySequence(tr(entry.shortcut.data())));
        if (!entry.statusTip.empty())
            action->setStatusTip(qstr(entry.statusTip));
        if (entry.check != Check::None) {
            action->setCheckable(true);
            action->setChecked(entry.check == Check::Checked);
        }
        _actions[std::size_t(entry.command)] = action;
        connectCommand(entry.command);
        if (!menu || menu->title() != qstr(entry.menu))
            menu = menuBar()->addMenu(qstr(entry.menu));
        if (entry.command == MenuCommand::Shadows)
            _viewMenu = menu;
        menu->addAction(action);
    }

    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &VisMainWindow::showNormal);
}

void VisMainWindow::addViewerControls()
{
    // The GL-widget embedding brings two controls of its own.
    if (QAction* orthographic = _viewerManager->orthographicAction()) {
        _actions[std::size_t(MenuCommand::OrthographicMode)] = orthographic;
        _viewMenu->addAction(orthographic);
    }
    if (QAction* home = _viewerManager->homeAction()) {
        _actions[std::size_t(MenuCommand::CameraHome)] = home;
        _replayToolBar->addAction(home);
    }
}

void VisMainWindow::connectCommand(MenuCommand command)
{
    using Slot = void (VisMainWindow::*)();
    Slot slot = nullptr;
    switch (command) {
    case MenuCommand::Settings:
        slot = &VisMainWindow::settings;
        break;
    case MenuCommand::Screenshot:
        slot = &VisMainWindow::takeScreenshot;
        break;
    case MenuCommand::ExportVideo:
        slot = &VisMainWindow::videoGrabbing;
        break;
    case MenuCommand::Exit:
        slot = &VisMainWindow::quitApplication;
        break;
    case MenuCommand::Disconnect:
        slot = &VisMainWindow::disconnectTCPServer;
        break;
    case MenuCommand::Statusbar:
        slot = &VisMainWindow::showStatusBar;
        break;
    case MenuCommand::Toolbar:
        slot = &VisMainWindow::showToolBar;
        break;
    case MenuCommand::FullScreen:
        slot = &VisMainWindow::showFullScreen;
        break;
    case MenuCommand::StereoMode:
        slot = &VisMainWindow::toggleStereoMode;
        break;
    case MenuCommand::WireframeMode:
        slot = &VisMainWindow::toggleWireframeMode;
        break;
    case MenuCommand::Shadows:
        slot = &VisMainWindow::toggleShadows;
        break;
    case MenuCommand::Documentation:
        slot = &VisMainWindow::helpDocumentation;
        break;
    case MenuCommand::About:
        slot = &VisMainWindow::helpAbout;
        break;
    case MenuCommand::OpenReplay:
        slot = &VisMainWindow::replayLoadFile;
        break;
    case MenuCommand::SaveReplay:
        slot = &VisMainWindow::replaySaveFile;
        break;
    case MenuCommand::Run:
        slot = &VisMainWindow::replayStart;
        break;
    case MenuCommand::Rewind:
        slot = &VisMainWindow::replayRewind;
        break;
    case MenuCommand::Reverse:
        slot = &VisMainWindow::replayReverse;
        break;
    case MenuCommand::Backstep:
        slot = &VisMainWindow::replayBackstep;
        break;
    case MenuCommand::StepForward:
        slot = &VisMainWindow::replayStepForward;
        break;
    case MenuCommand::Forward:
        slot = &VisMainWindow::replayMoveForward;
        break;
    case MenuCommand::RepeatReplay:
        slot = &VisMainWindow::replayRepeat;
        break;
    default:
        break; // modules not in this build; their entries stay disabled
    }
    QAction* action = this->action(command);
    if (slot)
        connect(action, &QAction::triggered, this, slot);
    if (!commandAvailable(command))
        action->setEnabled(false);
}

void VisMainWindow::buildReplayToolBar()
{
    _replayToolBar = addToolBar("Replay toolbar");
    connect(_replayToolBar, &QToolBar::orientationChanged, this,
            &VisMainWindow::toolBarOrientation);

    for (MenuCommand command :
         {MenuCommand::Run, MenuCommand::Rewind, MenuCommand::Reverse, MenuCommand::Backstep,
          MenuCommand::StepForward, MenuCommand::Forward, MenuCommand::RepeatReplay})
        _replayToolBar->addAction(action(command));
    _replayToolBar->addSeparator();
    _replayToolBar->addSeparator();

    _timeSlider = new QSlider(Qt::Horizontal, _replayToolBar);
    _timeSlider->setRange(0, 1000);
    _timeSlider->setTickInterval(1);
    _timeSlider->setMaximumWidth(250);
    _timeSlider->setToolTip("Time slider");
    auto* jumpToClick = new JumpToClickStyle;
    jumpToClick->setParent(_timeSlider);
    _timeSlider->setStyle(jumpToClick);
    _replayToolBar->addWidget(_timeSlider);

    _replayToolBar->addWidget(new QLabel("Time:", _replayToolBar));

    _timeBox = new QDoubleSpinBox(_replayToolBar);
    _timeBox->setToolTip("Time");
    _timeBox->setSuffix("s");
    _timeBox->setDecimals(3);
    _replayToolBar->addWidget(_timeBox);

    _replayToolBar->addSeparator();

    _jogDial = new QSlider(Qt::Horizontal, _replayToolBar);
    _jogDial->setRange(-100, 100);
    _jogDial->setTickInterval(1);
    _jogDial->setValue(0);
    _jogDial->setMaximumWidth(200);
    _jogDial->setToolTip("Jog-Dial");
    _replayToolBar->addWidget(_jogDial);

    _speedBox = new QComboBox(_replayToolBar);
    for (const char* speed : kSpeeds)
        _speedBox->addItem(speed);
    _speedBox->setCurrentIndex(kDefaultSpeedIndex);
    _speedBox->setToolTip("Replay speed");
    _replayToolBar->addWidget(_speedBox);

    _replayToolBar->addAction(action(MenuCommand::Disconnect));
}

void VisMainWindow::buildStatusBar()
{
    auto makeLabel = [this](const QString& text) {
        auto* label = new QLabel(text, this);
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setLineWidth(0);
        label->setFixedWidth(100);
        return label;
    };
    _loadingLabel = makeLabel("Loading Files...");
    _loadingLabel->hide();
    _statusLabel = makeLabel("Status: Offline");
    // The port simulations connect to, once the link listens.
    _portLabel = makeLabel("");
    _replayProgressBar = new QProgressBar(this);
    _replayProgressBar->setRange(0, 100);
    _replayProgressBar->setFormat("Opening replay %p%");
    _replayProgressBar->setFixedWidth(160);
    _replayProgressBar->hide();
    statusBar()->addPermanentWidget(_replayProgressBar);
    statusBar()->addPermanentWidget(_loadingLabel);
    statusBar()->addPermanentWidget(_statusLabel);
    statusBar()->addPermanentWidget(_portLabel);
}

void VisMainWindow::showReplayProgress(std::uint64_t done, std::uint64_t total)
{
    const OpeningProgress::Shown shown = _openingProgress.update(done, total);
    if (shown.visible == _replayProgressBar->isVisible() && !shown.visible)
        return;
    _replayProgressBar->setValue(shown.percent);
    if (shown.visible != _replayProgressBar->isVisible()) {
        _replayProgressBar->setVisible(shown.visible);
        // Lay the status bar out now; only layout requests are handled, no
        // timer or input that could act on the half-opened replay.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    }
    statusBar()->repaint();
}

void VisMainWindow::restoreWindowSettings()
{
    const QSettings store = settings::openSettings();
    setGeometry(settings::mendedInteger(store, SettingKey::WindowX),
                settings::mendedInteger(store, SettingKey::WindowY),
                settings::mendedInteger(store, SettingKey::WindowWidth),
                settings::mendedInteger(store, SettingKey::WindowHeight));
    if (settings::mendedFlag(store, SettingKey::Fullscreen)) {
        action(MenuCommand::FullScreen)->setChecked(true);
        showFullScreen();
    }
    if (settings::mendedFlag(store, SettingKey::Shadows)) {
        toggleShadows();
        action(MenuCommand::Shadows)->setChecked(true);
    }
}

void VisMainWindow::storeWindowSettings()
{
    QSettings store = settings::openSettings();
    const QRect rectangle = geometry();
    settings::setSettingValue(store, SettingKey::WindowX, rectangle.x());
    settings::setSettingValue(store, SettingKey::WindowY, rectangle.y());
    settings::setSettingValue(store, SettingKey::WindowWidth, rectangle.width());
    settings::setSettingValue(store, SettingKey::WindowHeight, rectangle.height());
    settings::setSettingValue(store, SettingKey::Fullscreen, isFullScreen());
    settings::setSettingValue(store, SettingKey::Shadows,
                              action(MenuCommand::Shadows)->isChecked());
}

namespace {

// Whether a node below `root` moves on by itself (particles, weather, an
// object waiting for its model file): such nodes ask for the update
// traversal. The root's own ask does not count: a shadowed scene always asks.
bool childrenAnimate(const osg::Group& root)
{
    for (unsigned i = 0; i < root.getNumChildren(); ++i) {
        const osg::Node* child = root.getChild(i);
        if (child->getNumChildrenRequiringUpdateTraversal() > 0 || child->getUpdateCallback())
            return true;
    }
    return false;
}

} // namespace

void VisMainWindow::timedUpdate()
{
    if (_objectManager->state() == ObjectManager::Replay)
        replayUpdate();
    if (frameNeeded()) {
        _frameWanted = false;
        _lastFrame = std::chrono::steady_clock::now();
        _viewerManager->viewer()->frame();
    }
    refreshStatus();
}

bool VisMainWindow::frameNeeded()
{
    if (_frameWanted || !_objectManager->receiveRing().empty())
        return true;
    if (_objectManager->state() == ObjectManager::Replay && !_transport.isPaused())
        return true;
    if (childrenAnimate(*_sceneRoot) || childrenAnimate(*_hudRoot))
        return true;
    const console::ConsoleHandler& console = console::ConsoleHandler::instance();
    if (console.visible() || console.imageDrawPending())
        return true;
    osgViewer::CompositeViewer& viewer = *_viewerManager->viewer();
    // checkEvents() moves the window system's events into the event queues,
    // where the frame's event traversal finds them.
    if (viewer.getRequestRedraw() || viewer.getRequestContinousUpdate() || viewer.checkEvents())
        return true;
    return std::chrono::steady_clock::now() - _lastFrame >= _idleFrameInterval;
}

bool VisMainWindow::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
        _frameWanted = true;
        break;
    case QEvent::Resize:
    case QEvent::Show:
    case QEvent::WindowStateChange:
        // The window's own changes, not those of a label in the status bar.
        if (watched == this || watched == _viewerManager->viewerWidget())
            _frameWanted = true;
        break;
    default:
        break;
    }
    return QMainWindow::eventFilter(watched, event);
}

void VisMainWindow::statusChanged()
{
    _frameWanted = true;
    if (_objectManager->state() == ObjectManager::Online)
        _runSaved = false; // a new run replaces the recording
    _timeSlider->setValue(0);
    takeReplayRange();
    if (_objectManager->state() == ObjectManager::Replay) {
        _transport.rewind();
        const QSignalBlocker block(_timeBox);
        _timeBox->setRange(_transport.first(), _transport.last());
        _timeBox->setValue(_transport.first());
    }
    showRecordingState();
    refreshStatus();
}

void VisMainWindow::takeReplayRange()
{
    const ReplayManager* replay = _objectManager->replay();
    _transport.setRange(replay ? replay->firstTime() : 0.0, replay ? replay->lastTime() : 0.0);
}

void VisMainWindow::replayUpdate()
{
    const double t = _transport.time();
    _objectManager->replayTick(float(t));
    const ReplayTransport::Step step =
        _transport.update(action(MenuCommand::RepeatReplay)->isChecked());
    {
        const QSignalBlocker block(_timeSlider);
        _timeSlider->setValue(step.slider);
    }
    {
        const QSignalBlocker block(_timeBox);
        _timeBox->setValue(step.time);
    }
    if (step.stoppedAtEnd)
        showPlayIcon(true);
}

void VisMainWindow::showPlayIcon(bool play)
{
    action(MenuCommand::Run)
        ->setIcon(QIcon(play ? ":/Resources/play.png" : ":/Resources/pause.png"));
}

void VisMainWindow::replayStart()
{
    showPlayIcon(!_transport.startOrPause());
}

void VisMainWindow::replayStop() {}

void VisMainWindow::replayRewind()
{
    _transport.rewind();
}

void VisMainWindow::replayStepForward()
{
    _transport.stepForward();
}

void VisMainWindow::replayMoveForward()
{
    _transport.moveForward();
}

void VisMainWindow::replayBackstep()
{
    _transport.backstep();
}

void VisMainWindow::replayReverse()
{
    _transport.reverse();
}

void VisMainWindow::replayRepeat()
{
    // replayUpdate() reads the action's checked state.
}

void VisMainWindow::replaySliderTimeMoved(int value)
{
    _transport.sliderMoved(value);
}

void VisMainWindow::replayTimeChanged(double seconds)
{
    _transport.timeChanged(seconds);
}

void VisMainWindow::replaySpeedChanged(const QString& speed)
{
    bool ok = false;
    const double value = speed.toDouble(&ok);
    if (ok)
        _transport.speedChanged(value);
}

void VisMainWindow::replayJogDialStart()
{
    _transport.jogDialStart();
}

void VisMainWindow::replayJogDialMoved(int value)
{
    _transport.jogDialMoved(value);
}

void VisMainWindow::replayJogDialStop()
{
    {
        const QSignalBlocker block(_jogDial);
        _jogDial->setValue(0);
    }
    _transport.jogDialStop();
    showPlayIcon(true);
}

void VisMainWindow::replayLoadFile()
{
    const QString name = QFileDialog::getOpenFileName(
        this, "Please select replay file", QDir(".").absolutePath(), "Replay File (*.dat)");
    if (name.isEmpty())
        return;
    const QString refused = _objectManager->openReplay(name);
    if (!refused.isEmpty())
        QMessageBox::warning(this, "Orvane", "The file " + name + " is not a replay. " + refused);
    refreshStatus();
}

void VisMainWindow::replaySaveFile()
{
    saveRecording();
}

bool VisMainWindow::saveRecording()
{
    QString name = QFileDialog::getSaveFileName(this, "Select where to save file",
                                                QDir(".").absolutePath(), "Replay File (*.dat)",
                                                nullptr, QFileDialog::DontConfirmOverwrite);
    if (name.isEmpty())
        return false;
    // "Open Replay..." lists *.dat only: a name typed without an extension
    // gets it, or the saved file could not be opened again from there.
    if (QFileInfo(name).suffix().isEmpty())
        name += ".dat";
    // An existing file is never overwritten; the user is told instead of the
    // copy failing without a word.
    if (QFileInfo::exists(name)) {
        QMessageBox::warning(this, "Orvane",
                             "The file " + name + " already exists and was not overwritten.");
        return false;
    }
    // While a run is live its last records may still sit in the recorder's buffer.
    _objectManager->flushRecording();
    if (!QFile::copy(_objectManager->temporaryReplayPath(), name)) {
        QMessageBox::warning(this, "Orvane", "The replay could not be saved to " + name + ".");
        return false;
    }
    _runSaved = true;
    return true;
}

bool VisMainWindow::unsavedRun() const
{
    return !_runSaved && _objectManager->recordedRecords() > 0;
}

void VisMainWindow::keepUnsavedRun(const QString& why)
{
    if (!unsavedRun())
        return;
    const QString kept = _objectManager->keepRecording();
    if (kept.isEmpty())
        return;
    _runSaved = true;
    std::cerr << "Orvane: " << why.toStdString() << "; the unsaved run is kept in "
              << kept.toStdString() << std::endl;
}

void VisMainWindow::showRecordingState()
{
    const QString recording = "Recording to " + _objectManager->temporaryReplayPath();
    if (_statusLabel->toolTip() != recording)
        _statusLabel->setToolTip(recording);
    const ReplayManager* replay = _objectManager->replay();
    if (_objectManager->state() == ObjectManager::Replay && replay && !replay->damage().empty())
        statusBar()->showMessage(
            QString("Replay damaged: sound up to byte %1 of %2, plays what precedes it")
                .arg(replay->soundBytes())
                .arg(replay->fileSize()));
    else
        statusBar()->clearMessage();
}

bool VisMainWindow::confirmQuit()
{
    if (!unsavedRun())
        return true;
    QSettings store = settings::openSettings();
    if (!settings::flagSetting(store, SettingKey::AskToSaveRunOnExit))
        return true;

    QMessageBox question(QMessageBox::Question, "Pellam Orvane - Unsaved run",
                         "The recording of the last run has not been saved.", QMessageBox::NoButton,
                         this);
    question.setInformativeText("Orvane deletes it when it ends. Save it before quitting?");
    QPushButton* save = question.addButton("&Save...", QMessageBox::AcceptRole);
    QPushButton* discard = question.addButton("&Discard", QMessageBox::DestructiveRole);
    QPushButton* cancel = question.addButton("Cancel", QMessageBox::RejectRole);
    question.setDefaultButton(save);
    question.setEscapeButton(cancel);
    auto* dontAsk = new QCheckBox("Don't ask again (quit without saving from now on)");
    question.setCheckBox(dontAsk);
    question.exec();

    if (question.clickedButton() == discard) {
        if (dontAsk->isChecked())
            settings::setSettingValue(store, SettingKey::AskToSaveRunOnExit, false);
        return true;
    }
    if (question.clickedButton() == save)
        return saveRecording();
    return false;
}

void VisMainWindow::refreshStatus()
{
    const ControlStates states =
        controlStatesFor(_objectManager->state(), _transport.first(), _transport.last());
    auto enable = [this](MenuCommand command, bool enabled) {
        action(command)->setEnabled(enabled && commandAvailable(command));
    };
    enable(MenuCommand::OpenReplay, states.openReplay);
    for (MenuCommand command :
         {MenuCommand::SaveReplay, MenuCommand::Run, MenuCommand::RepeatReplay, MenuCommand::Rewind,
          MenuCommand::Reverse, MenuCommand::Backstep, MenuCommand::StepForward,
          MenuCommand::Forward})
        enable(command, states.replayControls);
    enable(MenuCommand::Disconnect, states.disconnect);
    enable(MenuCommand::ExportVideo, states.exportVideo);
    // The time widgets drive the replay clock: without it they stay off.
    const bool replayWidgets = states.replayControls && commandAvailable(MenuCommand::Run);
    _timeSlider->setEnabled(replayWidgets);
    _timeBox->setEnabled(replayWidgets);
    _jogDial->setEnabled(replayWidgets);

    const QString text = QString::fromStdString(states.statusText);
    if (_statusLabel->text() != text)
        _statusLabel->setText(text);
    _timeBox->blockSignals(states.timeBoxSignalsBlocked);
    // Setting the same range again still repaints the box, and in the GL
    // widget embedding every repaint composes the whole window anew.
    if (_timeBox->minimum() != states.timeBoxMinimum ||
        _timeBox->maximum() != states.timeBoxMaximum)
        _timeBox->setRange(states.timeBoxMinimum, states.timeBoxMaximum);
    if (states.resetTimeSlider)
        _timeSlider->setValue(0);

    const TCPServer& server = _objectManager->server();
    const PortTexts port = portTextsFor(server.listening(), server.port(), _port);
    const QString portText = QString::fromStdString(port.statusText);
    if (_portLabel->text() != portText) {
        _portLabel->setText(portText);
        _portLabel->setToolTip(QString::fromStdString(port.toolTip));
    }
    if (_objectManager->state() == ObjectManager::Offline)
        _offlineNotice.show(port.noticeTitle, port.noticeDetail);
    else
        _offlineNotice.hide();

    const LoadingAnimation::Frame frame = _loading.tick(modelFilesLoading());
    if (frame.text)
        _loadingLabel->setText(frame.text);
    _loadingLabel->setVisible(frame.visible);
}

bool VisMainWindow::modelFilesLoading() const
{
    return _program.files().loadingCount() > 0;
}

void VisMainWindow::settings()
{
    std::cout << "TCP PORT: " << _port << std::endl;
    SettingDlg dialog(this);
    dialog.setPort(_port);
    if (dialog.exec() != QDialog::Accepted)
        return;
    _port = dialog.port();
    // Simulation views bring their own background; the view shown without
    // them takes the new one at once.
    _viewerManager->mainView()->setClearColour(view::standardBackgroundColour());
}

void VisMainWindow::takeScreenshot()
{
    osg::ref_ptr<osg::Image> image = _viewerManager->grabWindowImage();
    QString selectedFilter;
    QString name = QFileDialog::getSaveFileName(
        this, "Enter Filename", "", "Portable Network Graphics (*.png);; Bitmap file (*.bmp);;",
        &selectedFilter);
    if (name.isEmpty())
        return;
    // A name typed without an extension takes the one of the chosen filter,
    // since the image writer picks the format by the extension.
    if (QFileInfo(name).suffix().isEmpty())
        name += selectedFilter.contains("*.bmp") ? ".bmp" : ".png";
    if (!image.valid() || !osgDB::writeImageFile(*image, QFile::encodeName(name).toStdString()))
        QMessageBox::warning(this, "Screenshot",
                             "The screenshot could not be written to \"" + name +
                                 "\".\nCheck that the folder exists and is writable, and that "
                                 "the name ends in .png or .bmp.");
}

void VisMainWindow::videoGrabbing()
{
    VideoExportHost host;
    host.window = this;
    host.viewer = _viewerManager.get();
    host.objects = _objectManager.get();
    host.clock = &_clock;
    // The export draws and moves the replay itself.
    host.holdUpdates = [this](bool hold) {
        if (hold)
            _updateTimer.stop();
        else
            _updateTimer.start(UPDATE_INTERVAL_MS);
    };
    // The dialog sizes the window to the video's picture; afterwards the
    // window gets the user's size back, which is also the one stored for the
    // next start.
    const QRect before = geometry();
    VideoGrabbingDlg dialog(host, this);
    dialog.exec();
    if (!isFullScreen() && !isMaximized() && geometry() != before)
        setGeometry(before);
    if (!dialog.writtenFile().isEmpty()) {
        const QString written = QString("Video written to %1 (%2 frames)")
                                    .arg(QFileInfo(dialog.writtenFile()).absoluteFilePath())
                                    .arg(dialog.writtenFrames());
        console::writeLine(console::LEVEL_4, written.toStdString());
        statusBar()->showMessage(written);
    }
}

void VisMainWindow::quitApplication()
{
    if (confirmQuit())
        QApplication::quit();
}

void VisMainWindow::closeEvent(QCloseEvent* event)
{
    // Quitting closes the windows itself (not spontaneously), after its
    // own question.
    if (event->spontaneous() && !confirmQuit()) {
        event->ignore();
        return;
    }
    event->accept();
    QApplication::quit();
}

void VisMainWindow::showStatusBar()
{
    statusBar()->setVisible(action(MenuCommand::Statusbar)->isChecked());
}

void VisMainWindow::showToolBar()
{
    _replayToolBar->setVisible(action(MenuCommand::Toolbar)->isChecked());
}

void VisMainWindow::showFullScreen()
{
    if (!action(MenuCommand::FullScreen)->isChecked()) {
        showNormal();
        return;
    }
    menuBar()->hide();
    _replayToolBar->show();
    statusBar()->hide();
    QMainWindow::showFullScreen();
}

void VisMainWindow::showNormal()
{
    menuBar()->show();
    action(MenuCommand::FullScreen)->setChecked(false);
    _replayToolBar->setVisible(action(MenuCommand::Toolbar)->isChecked());
    statusBar()->setVisible(action(MenuCommand::Statusbar)->isChecked());
    QMainWindow::showNormal();
    const QRect normal = defaultGeometry();
    resize(normal.size());
    move(normal.topLeft());
}

void VisMainWindow::toggleStereoMode()
{
    osg::DisplaySettings* settings = osg::DisplaySettings::instance().get();
    settings->setStereo(!settings->getStereo());
}

void VisMainWindow::toggleWireframeMode()
{
    _wireframe = !_wireframe;
    WireframeVisitor visitor(_wireframe);
    _sceneRoot->accept(visitor);
}

void VisMainWindow::toggleShadows()
{
    if (_sceneRoot->getShadowTechnique()) {
        _sceneRoot->setShadowTechnique(nullptr);
        return;
    }
    _sceneRoot->setShadowTechnique(createSceneShadows().get());
    _sceneRoot->dirtyBound();
}

void VisMainWindow::toolBarOrientation(Qt::Orientation orientation)
{
    _timeSlider->setOrientation(orientation);
    _jogDial->setOrientation(orientation);
}

void VisMainWindow::replayJogDialAction(int action)
{
    if (action != QAbstractSlider::SliderMove)
        _jogDial->setValue(0);
}

void VisMainWindow::disconnectTCPServer()
{
    _objectManager->server().disconnect();
}

void VisMainWindow::helpDocumentation()
{
    const QString page = QCoreApplication::applicationDirPath() + "/Help/help.html";
    if (!QFileInfo::exists(page)) {
        QMessageBox::warning(this, "Documentation",
                             "The help page \"" + page + "\" is missing from this installation.");
        return;
    }
    // The page is there; what can fail is finding a program to show it.
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(page)))
        QMessageBox::information(this, "Documentation",
                                 "No web browser was found to show the help page. Open this file "
                                 "in a browser:\n\n" +
                                     page);
}

void VisMainWindow::helpAbout()
{
    const TCPServer& server = _objectManager->server();
    const PortTexts port = portTextsFor(server.listening(), server.port(), _port);
    QMessageBox::about(
        this, "About Orvane",
        QString("<b>Pellam Orvane</b><p>%2</p><p>A 3D viewer for running simulations: a "
                "simulation connects over TCP and streams the objects of its scene, which Orvane "
                "shows live, records and replays.</p><p>%1</p>"
                "<p>Press F10 in the 3D view for the console.</p>")
            .arg(QString::fromStdString(port.about).toHtmlEscaped(),
                 QString::fromStdString(commandline::versionLine("orvane")).toHtmlEscaped()));
}
