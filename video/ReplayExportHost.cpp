#include "video/ReplayExportHost.h"

#include <QFileInfo>
#include <QMainWindow>

#include "replay/ReplayManager.h"
#include "scene/ObjectManager.h"

namespace video {

ReplayExportHost::ReplayExportHost(osg::Group* sceneRoot, const ObjectFactory& factory,
                                   Embedding embedding, FileSource* files)
    : _sceneRoot(sceneRoot), _hudRoot(new osg::Group), _window(std::make_unique<QMainWindow>())
{
    _window->resize(640, 480);
    _viewer =
        std::make_unique<ViewerManager>(_window.get(), _sceneRoot.get(), _hudRoot.get(), embedding);
    _services.viewHost = _viewer.get();
    _services.files = files;
    _objects = std::make_unique<ObjectManager>(_sceneRoot.get(), _hudRoot.get(), 0, _services,
                                               _folder.path(), factory);
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
    if (_objects->replay()->index().empty())
        return "The replay file \"" + path.toStdString() + "\" holds no record.";
    return {};
}

} // namespace video
