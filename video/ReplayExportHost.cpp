#include "video/ReplayExportHost.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMainWindow>

#include "replay/ReplayManager.h"
#include "scene/ObjectManager.h"
#include "view/CompositeViewerQOSG.h"

namespace video {

ReplayExportHost::ReplayExportHost(osg::Group* sceneRoot, const ObjectFactory& factory,
                                   Embedding embedding, const ObjectServices& services)
    : _sceneRoot(sceneRoot), _hudRoot(new osg::Group), _services(services)
{
    if (embedding != Embedding::Headless) {
        _window = std::make_unique<QMainWindow>();
        _window->resize(640, 480);
    }
    _viewer = std::make_unique<ViewerManager>(_window.get(), _sceneRoot.get(), _hudRoot.get(),
                                              embedding, _services);
    _services.viewHost = _viewer.get();
    _objects = std::make_unique<ObjectManager>(_sceneRoot.get(), _hudRoot.get(), 0, _services,
                                               _folder.path(), factory);
    if (embedding == Embedding::GLWidget) {
        // The GL widget draws only once it has its OpenGL context, which it
        // gets when shown: it is shown without coming on screen.
        _window->setAttribute(Qt::WA_DontShowOnScreen);
        _window->show();
        for (int i = 0; i < 100 && !_viewer->viewer()->hasRendered(); ++i) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            _viewer->viewer()->frame();
        }
    }
}

ReplayExportHost::~ReplayExportHost()
{
    _objects.reset();
    _viewer.reset();
}

std::string ReplayExportHost::loadReplay(const QString& path)
{
    const QFileInfo file(path);
    if (!file.isFile() || !file.isReadable())
        return "The replay file \"" + path.toStdString() + "\" cannot be read.";
    if (!_folder.isValid())
        return "No temporary folder could be made for the export.";
    _objects->startReplay(file.absoluteFilePath());
    if (_objects->state() != ObjectManager::Replay)
        return "Replay is switched off in the settings (Replay/disabled).";
    const ReplayManager& replay = *_objects->replay();
    // A file that is not a replay has no sound record at its start; one cut
    // short or damaged would export a part of the run as if it were all.
    if (!replay.holdsReplay())
        return "The file \"" + path.toStdString() + "\" is not a replay" +
               (replay.damage().empty() ? "." : ": " + replay.damage() + ".");
    if (!replay.damage().empty())
        return "The replay file \"" + path.toStdString() + "\" is damaged: " + replay.damage() +
               ".";
    if (replay.index().empty())
        return "The replay file \"" + path.toStdString() + "\" holds no record.";
    return {};
}

} // namespace video
