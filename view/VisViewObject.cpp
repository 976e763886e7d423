#include "view/VisViewObject.h"

#include <QSize>

#include <cmath>

#include <osg/DisplaySettings>
#include <osg/observer_ptr>
#include <osgViewer/GraphicsWindow>
#include <osgViewer/View>
#include <osgViewer/ViewerEventHandlers>

#include "gnp2/Packet.h"
#include "objects/hud/HUDPickHandler.h"
#include "view/MovingManipulator.h"
#include "view/ViewSettings.h"
#include "view/ViewerManager.h"

using namespace view;

// The viewer's view of a view object. It names its owner, so that the
// viewer's cameras lead back to the view object (resizes, the active view).
class VisViewObject::ObjectView : public osgViewer::View
{
public:
    explicit ObjectView(VisViewObject* owner) : _owner(owner) {}

    const char* libraryName() const override { return "orvane"; }
    const char* className() const override { return "VisViewObject"; }

    VisViewObject* owner() const { return _owner; }
    void forgetOwner() { _owner = nullptr; }

protected:
    ~ObjectView() override = default;

private:
    VisViewObject* _owner;
};

namespace {

constexpr const char* CREATION_CLASS_TEXT = "VisCameraObject";

bool usablePerspective(const ViewParameters& p)
{
    return std::isfinite(p.fieldOfView) && p.fieldOfView > 0.0f && p.fieldOfView < 180.0f &&
           std::isfinite(p.nearPlane) && std::isfinite(p.farPlane) && p.farPlane > p.nearPlane;
}

// Clears the HUD's depth only while the HUD holds something to draw on top
// of the scene. Without it the clear changes nothing in the picture, yet
// costs a pass over every pixel of the depth buffer, each frame of each
// view (a software renderer spends as long on it as on the colour clear).
// Set in the update traversal, before the frame's cull reads it.
class HudDepthClear : public osg::NodeCallback
{
public:
    HudDepthClear(osg::Camera* camera, osg::Group* hudRoot) : _camera(camera), _hudRoot(hudRoot) {}

    void operator()(osg::Node* node, osg::NodeVisitor* visitor) override
    {
        osg::ref_ptr<osg::Camera> camera;
        osg::ref_ptr<osg::Group> hudRoot;
        if (_camera.lock(camera) && _hudRoot.lock(hudRoot))
            camera->setClearMask(hudRoot->getNumChildren() > 0 ? GL_DEPTH_BUFFER_BIT : 0);
        traverse(node, visitor);
    }

private:
    osg::observer_ptr<osg::Camera> _camera;
    osg::observer_ptr<osg::Group> _hudRoot;
};

} // namespace

VisViewObject::VisViewObject(ViewerManager* viewerManager, bool isMainView, bool isSecondEye,
                             const ObjectContext& context)
    : VisObject(context), _viewerManager(viewerManager), _isSecondEye(isSecondEye),
      _view(new ObjectView(this)), _viewGroup(new osg::Group)
{
    _view->setSceneData(_viewGroup.get());
    // The console first: it takes its keys before the statistics see them.
    if (services().viewEvents)
        _view->addEventHandler(services().viewEvents);
    _view->addEventHandler(new osgViewer::StatsHandler);
    _parameters.clearColour = standardBackgroundColour();
    if (isMainView)
        setUpView(); // the parameters' defaults are those of the main view
}

VisViewObject::~VisViewObject()
{
    _view->setCameraManipulator(nullptr, false);
    _view->forgetOwner();
}

VisViewObject* VisViewObject::fromView(const osg::View* view)
{
    const auto* objectView = dynamic_cast<const ObjectView*>(view);
    return objectView ? objectView->owner() : nullptr;
}

osgViewer::View* VisViewObject::view() const
{
    return _view.get();
}

osg::Camera* VisViewObject::camera() const
{
    return _view->getCamera();
}

MovingManipulator* VisViewObject::manipulator() const
{
    return _manipulator.get();
}

osgViewer::GraphicsWindow* VisViewObject::graphicsWindow() const
{
    return dynamic_cast<osgViewer::GraphicsWindow*>(camera()->getGraphicsContext());
}

void VisViewObject::detachCamera()
{
    camera()->setGraphicsContext(nullptr);
}

VisObject::Skeleton VisViewObject::skeleton() const
{
    return {.failureName = CREATION_CLASS_TEXT};
}

bool VisViewObject::build(const GNP2::Packet& packet)
{
    // Every required item is read before anything is built, so a packet
    // that lacks one leaves no half-made view behind.
    _parameters = readViewCreation(statePacket());

    if (_parameters.ownScreen && _parameters.stereoPair && !_isSecondEye) {
        _partner = new VisViewObject(_viewerManager, false, true, context());
        _partner->initialize(packet);
    }
    setUpView();
    _viewerManager->addView(this);

    readPlacement(statePacket(), _placement);
    setHomePosition();
    return true;
}

void VisViewObject::apply(const GNP2::Packet& arrived)
{
    if (_partner)
        _partner->update(arrived);

    const GNP2::Packet& state = statePacket();
    readPlacement(state, _placement);
    if (arrived.hasItem(item::view::Near))
        _parameters.nearPlane = floatItem(arrived, item::view::Near)[0];
    if (arrived.hasItem(item::view::Far))
        _parameters.farPlane = floatItem(arrived, item::view::Far)[0];
    if (arrived.hasItem(item::view::Background)) {
        const auto colour = intItem(arrived, item::view::Background, 3);
        _parameters.clearColour = colourFromBytes(colour[0], colour[1], colour[2]);
    }
    if (arrived.hasItem(item::view::FieldOfView))
        _parameters.fieldOfView = floatItem(arrived, item::view::FieldOfView)[0];
    camera()->setClearColor(_parameters.clearColour);
    applyProjection();

    // Item 55 is required in every update; its absence is the caller's error.
    const int control = intItem(state, item::view::CameraControl)[0];
    if (control == LOOK_AT)
        lookAt();
    else if (control == MOVE_CENTRE)
        moveCentre();
}

void VisViewObject::setUpView()
{
    ViewerManager& manager = *_viewerManager;
    osgViewer::GraphicsWindow* window = nullptr;
    QSize size;
    osg::ref_ptr<MovingManipulator> manipulator;

    const bool ownScreen = _parameters.ownScreen && manager.hasScreenWindows();
    if (ownScreen) {
        const int screen = _isSecondEye ? _parameters.rightEyeScreen : _parameters.screen;
        window = manager.screenWindow(screen);
        size = manager.screenPixelSize(screen);
    }
    if (window) {
        if (_parameters.stereoPair) {
            // An eye of a stereo pair: its own copy of the display settings.
            osg::ref_ptr<osg::DisplaySettings> settings =
                new osg::DisplaySettings(*osg::DisplaySettings::instance());
            settings->setStereo(true);
            settings->setStereoMode(_isSecondEye ? osg::DisplaySettings::RIGHT_EYE
                                                 : osg::DisplaySettings::LEFT_EYE);
            settings->setEyeSeparation(_parameters.eyeSeparation);
            settings->setScreenDistance(_parameters.screenDistance);
            _view->setDisplaySettings(settings.get());
        }
    } else {
        // In the viewer widget: the view follows the program's display
        // settings, so that the stereo switch of the main window reaches it.
        window = manager.graphicsWindow();
        size = manager.viewerPixelSize();
    }
    if (!_isSecondEye || !_parameters.stereoPair || !ownScreen)
        manipulator = new MovingManipulator(&manager, this);

    camera()->setGraphicsContext(window);
    if (manipulator.valid()) {
        manipulator->setHomeDirection(cameraHomeSettings().standardPosition);
        setManipulator(manipulator.get());
        if (_partner)
            _partner->setManipulator(manipulator.get());
    }
    resize(size.width(), size.height());
    camera()->setClearColor(_parameters.clearColour);
    if (_parameters.hasHud) {
        createHudCamera();
        _view->addEventHandler(
            new HUDPickHandler(manager.hudRoot(), _hudCamera.get(), _parameters.hudAspectMode));
    }
    if (manager.sceneRoot())
        _viewGroup->addChild(manager.sceneRoot());
}

void VisViewObject::setManipulator(MovingManipulator* manipulator)
{
    _manipulator = manipulator;
    _view->setCameraManipulator(manipulator);
}

void VisViewObject::createHudCamera()
{
    _hudCamera = new osg::Camera;
    _hudCamera->setComputeNearFarMode(osg::CullSettings::DO_NOT_COMPUTE_NEAR_FAR);
    _hudCamera->setProjectionMatrix(
        hudProjection(_parameters.hudAspectMode, _viewport.width, _viewport.height));
    _hudCamera->setReferenceFrame(osg::Transform::ABSOLUTE_RF);
    _hudCamera->setViewMatrix(osg::Matrixd::identity());
    _hudCamera->setClearMask(GL_DEPTH_BUFFER_BIT);
    _hudCamera->setRenderOrder(osg::Camera::POST_RENDER, 0);
    if (_viewerManager->hudRoot()) {
        _hudCamera->addChild(_viewerManager->hudRoot());
        _viewGroup->addUpdateCallback(
            new HudDepthClear(_hudCamera.get(), _viewerManager->hudRoot()));
    }
    _viewGroup->addChild(_hudCamera.get());
}

void VisViewObject::setClearColour(const osg::Vec4f& colour)
{
    _parameters.clearColour = colour;
    camera()->setClearColor(colour);
}

void VisViewObject::resize(int width, int height)
{
    _viewport = viewportFor(_parameters.origin, _parameters.size, width, height);
    _viewport.width = std::max(0, _viewport.width);
    _viewport.height = std::max(0, _viewport.height);

    osg::Camera* camera = this->camera();
    camera->setCullingMode(cullingModeFor(noClipSetting()));
    camera->setComputeNearFarMode(osg::CullSettings::DO_NOT_COMPUTE_NEAR_FAR);
    applyProjection();
    camera->setViewport(_viewport.x, _viewport.y, _viewport.width, _viewport.height);
    if (_hudCamera)
        _hudCamera->setProjectionMatrix(
            hudProjection(_parameters.hudAspectMode, _viewport.width, _viewport.height));
}

void VisViewObject::applyProjection()
{
    if (_viewport.width <= 0 || _viewport.height <= 0)
        return;
    const double aspect = double(_viewport.width) / double(_viewport.height);
    if (_viewerManager && _viewerManager->orthographicMode() && _manipulator) {
        const double width = _manipulator->getDistance();
        const double height = width / aspect;
        camera()->setProjectionMatrixAsOrtho(-width / 2, width / 2, -height / 2, height / 2, 0.0,
                                             _parameters.farPlane);
        return;
    }
    // A packet with an unusable projection (far not beyond near, no field
    // of view) keeps the one the camera has.
    if (usablePerspective(_parameters))
        camera()->setProjectionMatrixAsPerspective(_parameters.fieldOfView, aspect,
                                                   _parameters.nearPlane, _parameters.farPlane);
}

void VisViewObject::setHomePosition()
{
    if (!_manipulator || _isSecondEye)
        return;
    _manipulator->setLookAtMode(false);
    _manipulator->setMinimumDistance(0.0, true);
    _manipulator->setTrackballSize(0.8);
    const LookAt home =
        usableLookAt(_placement.centre + _placement.homeEye, _placement.centre, _placement.up);
    _ownHome = home.valid;
    if (home.valid) {
        _manipulator->setAutoComputeHomePosition(false);
        _manipulator->setHomePosition(home.eye, home.centre, home.up, false);
    } else {
        // No home eye (or one on the centre): frame the scene instead.
        _manipulator->setAutoComputeHomePosition(true);
    }
    _manipulator->home(0.0);
}

void VisViewObject::lookAt()
{
    if (!_manipulator)
        return;
    _manipulator->setLookAtMode(true);
    _manipulator->place(usableLookAt(_placement.eye, _placement.centre, _placement.up));
}

void VisViewObject::moveCentre()
{
    if (!_manipulator)
        return;
    _manipulator->setLookAtMode(false);
    // The eye stays where the user put it and turns to the new centre.
    osg::Vec3d eye, centre, up;
    _manipulator->getTransformation(eye, centre, up);
    _manipulator->place(usableLookAt(eye, _placement.centre, up));
}

void VisViewObject::goHome(bool automatic, const osg::Vec3d& standardEye)
{
    if (!_manipulator || (_isSecondEye && _parameters.stereoPair))
        return;
    _manipulator->setLookAtMode(false);
    if (_ownHome) {
        // The simulation placed this view's home: that is where home is.
    } else if (automatic) {
        _manipulator->setHomeDirection(standardEye);
        _manipulator->setAutoComputeHomePosition(true);
    } else {
        const LookAt home = usableLookAt(standardEye, osg::Vec3d(), osg::Vec3d(0.0, 0.0, 1.0));
        if (home.valid) {
            _manipulator->setAutoComputeHomePosition(false);
            _manipulator->setHomePosition(home.eye, home.centre, home.up, false);
        }
    }
    _manipulator->home(0.0);
    sendCameraPose();
}

void VisViewObject::sendCameraPose()
{
    if (!_manipulator || (_isSecondEye && _parameters.stereoPair))
        return;
    std::unique_ptr<GNP2::Packet> packet =
        _poseReporter.report(_manipulator->getMatrix(), statePacket());
    if (packet)
        sendPacket(packet.release());
}
