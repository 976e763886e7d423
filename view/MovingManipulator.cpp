#include "view/MovingManipulator.h"

#include <osg/Node>

#include "view/ViewerManager.h"
#include "view/VisViewObject.h"

namespace view {

MovingManipulator::MovingManipulator(ViewerManager* viewerManager, VisViewObject* view)
    : _viewerManager(viewerManager), _view(view), _spaceMouse(spaceMouseSettings())
{
}

MovingManipulator::~MovingManipulator() = default;

bool MovingManipulator::mayMoveCamera(const osgGA::GUIEventAdapter& event, bool thrown)
{
    using E = osgGA::GUIEventAdapter;
    switch (event.getEventType()) {
    case E::PUSH:
    case E::RELEASE:
    case E::DRAG:
    case E::SCROLL:
    case E::KEYDOWN:
    case E::KEYUP:
        return true;
    case E::FRAME:
        return thrown; // a thrown camera keeps turning
    default:
        return false;
    }
}

bool MovingManipulator::handle(const osgGA::GUIEventAdapter& event,
                               osgGA::GUIActionAdapter& actions)
{
    using E = osgGA::GUIEventAdapter;
    if (event.getEventType() == E::RELEASE && _viewerManager)
        _viewerManager->setActiveView(VisViewObject::fromView(actions.asView()));
    if (_lookAtMode)
        return false;

    if (event.getEventType() == E::FRAME && getAutoComputeHomePosition() && !_userMoved)
        followSceneBound(event, actions);

    const bool report = mayMoveCamera(event, _thrown);
    const bool handled = osgGA::TrackballManipulator::handle(event, actions);
    // Input moved the camera (a window resize is handled too, but is not the user's doing).
    if (handled && report && event.getEventType() != E::FRAME)
        _userMoved = true;
    if (report) {
        if (osg::ref_ptr<VisViewObject> view; _view.lock(view))
            view->sendCameraPose();
    }
    return handled;
}

void MovingManipulator::place(const LookAt& placement)
{
    if (placement.valid)
        setTransformation(placement.eye, placement.centre, placement.up);
}

void MovingManipulator::computeHomePosition(const osg::Camera*, bool)
{
    const osg::Node* node = getNode();
    if (!node)
        return;
    const osg::BoundingSphere& bound = node->getBound();
    if (!bound.valid())
        return;
    double fieldOfView = 30.0;
    double aspect = 1.0;
    if (osg::ref_ptr<VisViewObject> view; _view.lock(view)) {
        fieldOfView = view->parameters().fieldOfView;
        const Viewport& viewport = view->viewport();
        if (viewport.width > 0 && viewport.height > 0)
            aspect = double(viewport.width) / double(viewport.height);
    }
    const LookAt home =
        framingLookAt(bound.center(), bound.radius(), _homeDirection, fieldOfView, aspect);
    if (home.valid)
        setHomePosition(home.eye, home.centre, home.up, getAutoComputeHomePosition());
}

void MovingManipulator::followSceneBound(const osgGA::GUIEventAdapter& event,
                                         osgGA::GUIActionAdapter& actions)
{
    const osg::Node* node = getNode();
    if (!node)
        return;
    const osg::BoundingSphere& bound = node->getBound();
    if (!bound.valid() || bound == _framedBound)
        return;
    _framedBound = bound;
    home(event, actions);
}

} // namespace view
