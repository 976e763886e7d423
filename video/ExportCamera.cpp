#include "video/ExportCamera.h"

#include <osg/MatrixTransform>

#include "scene/ObjectManager.h"
#include "scene/RootnodeUpdateCallback.h"
#include "scene/Vis3DObject.h"
#include "view/MovingManipulator.h"
#include "view/ViewerManager.h"
#include "view/VisViewObject.h"

namespace video {

namespace {

// Where a placed object's origin is in the world.
std::optional<osg::Vec3d> worldPosition(VisObject* object)
{
    auto* placed = dynamic_cast<Vis3DObject*>(object);
    if (!placed || !placed->getTransform())
        return std::nullopt;
    const osg::MatrixList matrices = placed->getTransform()->getWorldMatrices();
    return matrices.empty() ? placed->getTransform()->getMatrix().getTrans()
                            : matrices.front().getTrans();
}

} // namespace

ExportCamera::ExportCamera(ViewerManager& viewer, ObjectManager& objects,
                           const CameraChoice& choice)
    : _viewer(viewer), _objects(objects), _choice(choice)
{
}

ExportCamera::~ExportCamera()
{
    if (!_started)
        return;
    osg::Camera* main = _viewer.mainView()->camera();
    main->setCullMask(_mainCullMask);
    main->setClearColor(_mainBackground);
    main->setProjectionMatrix(_mainProjection);
    _viewer.mainView()->manipulator()->setAutoComputeHomePosition(_mainAutoHome);
    _viewer.mainView()->manipulator()->setByInverseMatrix(*_startPose);
    for (const Silenced& view : _silenced) {
        osg::ref_ptr<osg::Camera> camera;
        if (view.camera.lock(camera)) {
            camera->setCullMask(view.cullMask);
            camera->setClearMask(view.clearMask);
        }
    }
}

void ExportCamera::silenceSimulationViews()
{
    for (const osg::ref_ptr<VisViewObject>& view : _viewer.views()) {
        osg::Camera* camera = view->camera();
        bool known = false;
        for (const Silenced& silenced : _silenced)
            known = known || silenced.camera == camera;
        if (known)
            continue;
        _silenced.push_back({camera, camera->getCullMask(), camera->getClearMask()});
        camera->setCullMask(0);
        camera->setClearMask(0);
    }
}

std::string ExportCamera::beforeFrame(int width, int height)
{
    if (_choice.empty())
        return {};
    VisViewObject& main = *_viewer.mainView();
    osg::Camera* camera = main.camera();
    if (!_started) {
        _started = true;
        _mainCullMask = camera->getCullMask();
        _mainBackground = camera->getClearColor();
        _mainProjection = camera->getProjectionMatrix();
        view::MovingManipulator& manipulator = *main.manipulator();
        _mainAutoHome = manipulator.getAutoComputeHomePosition();
        _startPose = manipulator.getInverseMatrix();
        // The default view frames the scene as it grows, which would undo
        // the camera placed here every frame. Following from the default
        // camera starts from its framing of the scene as the export starts.
        if (_mainAutoHome && !manipulator.userMoved() && !_choice.fixed && !_choice.view) {
            manipulator.home(0.0);
            _followFrom = manipulator.getInverseMatrix();
        }
        manipulator.setAutoComputeHomePosition(false);
    }
    rootnodeUpdateCallback& objects = _objects.updateCallback();

    osg::Matrixd pose = _followFrom.value_or(*_startPose);
    if (_choice.fixed) {
        pose = osg::Matrixd::lookAt(_choice.fixed->eye, _choice.fixed->centre, _choice.fixed->up);
    } else if (_choice.view) {
        auto* source =
            dynamic_cast<VisViewObject*>(objects.findObjectOfAnyConnection(*_choice.view));
        if (!source)
            return "--view " + std::to_string(*_choice.view) + ": the replay has no view " +
                   std::to_string(*_choice.view) + " at this time";
        pose = source->manipulator() ? source->manipulator()->getInverseMatrix()
                                     : source->camera()->getViewMatrix();
        double fovy = 30.0, aspect = 1.0, zNear = 0.1, zFar = 1000.0;
        if (source->camera()->getProjectionMatrixAsPerspective(fovy, aspect, zNear, zFar))
            camera->setProjectionMatrixAsPerspective(fovy, double(width) / height, zNear, zFar);
        camera->setClearColor(source->camera()->getClearColor());
    }
    if (_choice.follow) {
        const std::optional<osg::Vec3d> position =
            worldPosition(objects.findObjectOfAnyConnection(*_choice.follow));
        if (!position)
            return "--follow " + std::to_string(*_choice.follow) +
                   ": the replay has no placed object " + std::to_string(*_choice.follow) +
                   " at this time";
        if (!_followStart)
            _followStart = *position;
        // The world moves by the object's way so far before the camera sees it.
        pose = osg::Matrixd::translate(*_followStart - *position) * pose;
    }
    silenceSimulationViews();
    camera->setCullMask(0xFFFFFFFFu);
    main.manipulator()->setByInverseMatrix(pose);
    return {};
}

} // namespace video
