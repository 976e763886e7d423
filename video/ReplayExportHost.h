#pragma once
// What the export needs where no user sits at the program (the command
// line, tests): a main window that never comes on screen, holding the viewer, an
// object manager and a replay clock. In the headless embedding there is no
// window: the viewer draws without one. The object manager works in a
// temporary folder of its own, so that its recording file never touches the
// one of a program running in the same folder, and its link listens on a
// port the system chooses.
//
// Threading: GUI thread only; the QApplication must exist.

#include <QString>
#include <QTemporaryDir>

#include <memory>
#include <string>

#include <osg/Group>
#include <osg/ref_ptr>

#include "replay/ReplayClock.h"
#include "scene/ObjectKinds.h"
#include "scene/ObjectServices.h"
#include "view/ViewerManager.h"

class QMainWindow;
class ObjectManager;

namespace video {

class ReplayExportHost
{
public:
    // `sceneRoot` is set up as the program's window sets up its own; the
    // factory makes the scene objects and must outlive the host.
    // The objects get `services`, with this host's viewer as their view host.
    ReplayExportHost(osg::Group* sceneRoot, const ObjectFactory& factory, Embedding embedding,
                     const ObjectServices& services = {});
    ~ReplayExportHost();
    ReplayExportHost(const ReplayExportHost&) = delete;
    ReplayExportHost& operator=(const ReplayExportHost&) = delete;

    // Loads a replay file. Empty on success, else why it cannot be played:
    // it cannot be read, it is no replay, it is damaged or holds no record.
    std::string loadReplay(const QString& path);

    // Null in the headless embedding.
    QMainWindow* window() { return _window.get(); }
    ViewerManager& viewer() { return *_viewer; }
    ObjectManager& objects() { return *_objects; }
    ReplayClock& clock() { return _clock; }

private:
    QTemporaryDir _folder;
    osg::ref_ptr<osg::Group> _sceneRoot;
    osg::ref_ptr<osg::Group> _hudRoot;
    std::unique_ptr<QMainWindow> _window;
    ObjectServices _services;
    std::unique_ptr<ViewerManager> _viewer;
    std::unique_ptr<ObjectManager> _objects;
    ReplayClock _clock;
};

} // namespace video
