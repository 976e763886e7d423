#include "view/MovingManipulator.h"

#include <cmath>
#include <limits>

#include <osg/BlendFunc>
#include <osg/Depth>
#include <osg/Geode>
#include <osg/LineWidth>
#include <osg/Material>
#include <osg/PolygonMode>
#include <osg/ShapeDrawable>

#include "view/RawDeviceEvent.h"
#include "view/ViewerManager.h"
#include "view/VisViewObject.h"

namespace view {

namespace {

using E = osgGA::GUIEventAdapter;

const osg::Vec4 MARKER_COLOUR(0.5f, 0.5f, 0.5f, 0.3f);

// The marker's switch does not count towards the scene's bound, so that
// showing it never changes an automatic home or the scene's framing.
class NoBound : public osg::Node::ComputeBoundingSphereCallback
{
public:
    osg::BoundingSphere computeBound(const osg::Node&) const override { return {}; }
};

osg::ref_ptr<osg::Geode> markerGeode()
{
    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    for (const float radius : {0.5f, 0.02f}) {
        osg::ref_ptr<osg::ShapeDrawable> sphere =
            new osg::ShapeDrawable(new osg::Sphere(osg::Vec3(), radius));
        // Unlit, the spheres take this colour rather than the material's.
        sphere->setColor(MARKER_COLOUR);
        geode->addDrawable(sphere.get());
    }
    osg::StateSet* state = geode->getOrCreateStateSet();
    state->setAttributeAndModes(
        new osg::PolygonMode(osg::PolygonMode::FRONT_AND_BACK, osg::PolygonMode::LINE));
    state->setMode(GL_LIGHTING, osg::StateAttribute::OFF);
    osg::ref_ptr<osg::Material> material = new osg::Material;
    material->setAmbient(osg::Material::FRONT_AND_BACK, MARKER_COLOUR);
    material->setDiffuse(osg::Material::FRONT_AND_BACK, MARKER_COLOUR);
    state->setAttribute(material.get());
    state->setAttributeAndModes(
        new osg::BlendFunc(osg::BlendFunc::SRC_ALPHA, osg::BlendFunc::ONE_MINUS_SRC_ALPHA));
    state->setRenderingHint(osg::StateSet::TRANSPARENT_BIN);
    state->setAttributeAndModes(new osg::Depth(osg::Depth::LEQUAL, 0.0, 1.0, false));
    state->setAttribute(new osg::LineWidth(0.01f));
    return geode;
}

} // namespace

double markerScale(double distance)
{
    return distance - std::fmod(distance, 5.0) + 1.0;
}

double spaceMouseResponse(std::int32_t value, double speed)
{
    const double v = value;
    const double sign = v <= 0.0 ? -1.0 : 1.0;
    return sign * v * v * speed;
}

MovingManipulator::MovingManipulator(ViewerManager* viewerManager, VisViewObject* view)
    : _viewerManager(viewerManager), _view(view), _spaceMouse(spaceMouseSettings())
{
}

MovingManipulator::~MovingManipulator()
{
    if (_markerSwitch) {
        // The marker lives in the view's group, which may outlive us.
        const osg::Node::ParentList parents =
            _markerSwitch->getParents(); // a copy: removal changes it
        for (osg::Group* parent : parents)
            parent->removeChild(_markerSwitch.get());
    }
}

bool MovingManipulator::handle(const osgGA::GUIEventAdapter& event,
                               osgGA::GUIActionAdapter& actions)
{
    if (event.getEventType() == E::RELEASE && _viewerManager)
        _viewerManager->setActiveView(VisViewObject::fromView(actions.asView()));
    if (_lookAtMode)
        return false;

    if (!_initialized) {
        _initialized = true;
        createMarker();
        placeMarker();
    }

    switch (event.getEventType()) {
    case E::FRAME:
        return onFrame(event, actions);
    default:
        break;
    }
    if (event.getHandled())
        return false;

    switch (event.getEventType()) {
    case E::PUSH:
        return onPush(event, actions);
    case E::RELEASE:
        return onRelease(event, actions);
    case E::KEYUP:
        return onKeyUp(event, actions);
    case E::SCROLL:
        _lastSpaceMouseTime = _frameTime;
        step(event, actions);
        return true;
    case E::DRAG:
        step(event, actions);
        return true;
    case E::USER:
        return onUserEvent(event, actions);
    default:
        return false;
    }
}

bool MovingManipulator::onFrame(const osgGA::GUIEventAdapter& event,
                                osgGA::GUIActionAdapter& actions)
{
    _frameTime = event.getTime();
    _frameDelta = _frameTime - _previousFrameTime;
    _previousFrameTime = _frameTime;

    if (getAutoComputeHomePosition() && !_userMoved)
        followSceneBound(event, actions);
    if (_thrown && calcMovement())
        actions.requestRedraw();
    if (_markerEnabled && _lastSpaceMouseTime != 0.0 && event.getButtonMask() == 0) {
        if (_frameTime - _lastSpaceMouseTime < MARKER_AFTERGLOW) {
            showMarker(true);
        } else {
            showMarker(false);
            _lastSpaceMouseTime = 0.0;
        }
    }
    return false;
}

bool MovingManipulator::onPush(const osgGA::GUIEventAdapter& event,
                               osgGA::GUIActionAdapter& actions)
{
    if (_markerEnabled)
        showMarker(true);
    flushMouseEventStack();
    step(event, actions);
    return true;
}

bool MovingManipulator::onRelease(const osgGA::GUIEventAdapter& event,
                                  osgGA::GUIActionAdapter& actions)
{
    if (event.getButtonMask() == 0) {
        showMarker(false);
        const double sinceLastMotion = _ga_t0.valid() ? event.getTime() - _ga_t0->getTime()
                                                      : std::numeric_limits<double>::max();
        if (sinceLastMotion > THROW_WINDOW)
            flushMouseEventStack();
        if (isMouseMoving()) {
            // Let go while moving: the camera keeps turning with the last motion.
            if (calcMovement()) {
                actions.requestRedraw();
                actions.requestContinuousUpdate(true);
                _thrown = true;
            }
            return true;
        }
    }
    flushMouseEventStack();
    step(event, actions);
    return true;
}

bool MovingManipulator::onKeyUp(const osgGA::GUIEventAdapter& event,
                                osgGA::GUIActionAdapter& actions)
{
    switch (event.getKey()) {
    case E::KEY_F9:
        _markerEnabled = !_markerEnabled;
        if (!_markerEnabled)
            showMarker(false);
        return false; // other handlers may want F9 too
    case E::KEY_Space:
        flushMouseEventStack();
        _thrown = false;
        home(event, actions);
        reportCameraPose();
        placeMarker();
        return true;
    default:
        return false;
    }
}

bool MovingManipulator::onUserEvent(const osgGA::GUIEventAdapter& event,
                                    osgGA::GUIActionAdapter& actions)
{
    const auto* input = dynamic_cast<const rawDeviceEvent*>(event.getUserData());
    if (!input)
        return false;
    // 3D-mouse input is consumed by every view; only the active one moves.
    if (!isActiveView() || !_spaceMouse.useSpaceMouse)
        return true;
    _lastSpaceMouseTime = _frameTime;
    if (input->type == rawDeviceEvent::BUTTON) {
        spaceMouseButtons(*input);
    } else if (input->type == rawDeviceEvent::MOTION) {
        spaceMouseTranslation(*input);
        spaceMouseRotation(*input);
    }
    _userMoved = true;
    placeMarker();
    actions.requestRedraw();
    actions.requestContinuousUpdate(false);
    _thrown = false;
    return true;
}

void MovingManipulator::step(const osgGA::GUIEventAdapter& event, osgGA::GUIActionAdapter& actions)
{
    addMouseEvent(event);
    if (calcMovement())
        actions.requestRedraw();
    actions.requestContinuousUpdate(false);
    _thrown = false;
}

bool MovingManipulator::calcMovement()
{
    if (!_ga_t0.valid())
        return false;

    if (_ga_t0->getEventType() == E::SCROLL) {
        double along = 0.0;
        switch (_ga_t0->getScrollingMotion()) {
        case E::SCROLL_UP:
            along = WHEEL_STEP * _distance;
            break;
        case E::SCROLL_DOWN:
            along = -WHEEL_STEP * _distance;
            break;
        default:
            return false;
        }
        // Centre and eye move together along the viewing axis.
        _center += osg::Vec3d(0.0, 0.0, along) * osg::Matrixd::rotate(_rotation);
        _userMoved = true;
        reportCameraPose();
        placeMarker();
        reportCameraPose();
        return false;
    }

    if (!_ga_t1.valid())
        return false;
    const double dx = _ga_t0->getXnormalized() - _ga_t1->getXnormalized();
    const double dy = _ga_t0->getYnormalized() - _ga_t1->getYnormalized();
    const double moved = std::sqrt(dx * dx + dy * dy);
    // No movement, or a jump (the pointer left and re-entered the window).
    if (moved > MAX_POINTER_STEP || moved == 0.0)
        return false;
    const unsigned int buttons = _ga_t1->getButtonMask();

    placeMarker();
    reportCameraPose();

    double throwScale = 1.0;
    const double eventDelta = _ga_t0->getTime() - _ga_t1->getTime();
    // Two events at the same time give no rate to continue with.
    if (_thrown && eventDelta > 0.0)
        throwScale = _frameDelta / eventDelta;

    if (buttons == E::LEFT_MOUSE_BUTTON) {
        osg::Vec3d axis;
        float angle = 0.0f;
        trackball(axis, angle, float(_ga_t1->getXnormalized()), float(_ga_t1->getYnormalized()),
                  float(_ga_t0->getXnormalized()), float(_ga_t0->getYnormalized()));
        _rotation = _rotation * osg::Quat(angle * throwScale, axis);
    } else if (buttons == E::MIDDLE_MOUSE_BUTTON ||
               buttons == (E::LEFT_MOUSE_BUTTON | E::RIGHT_MOUSE_BUTTON)) {
        const double scale = -0.3 * _distance * throwScale;
        _center += osg::Vec3d(dx * scale, dy * scale, 0.0) * osg::Matrixd::rotate(_rotation);
    } else if (buttons == E::RIGHT_MOUSE_BUTTON) {
        const double factor = 1.0 + dy * throwScale;
        bool relative = false;
        const double minimumDistance = getMinimumDistance(&relative);
        const double minimum = relative ? _modelSize * minimumDistance : minimumDistance;
        if (_distance * factor > minimum) {
            _distance *= factor;
        } else {
            // At the closest distance the centre is pushed ahead instead.
            const osg::Vec3d forward = osg::Vec3d(0.0, 0.0, -1.0) * osg::Matrixd::rotate(_rotation);
            _center += forward * (dy * -_distance);
        }
    } else {
        return false;
    }

    _userMoved = true;
    placeMarker();
    reportCameraPose();
    return true;
}

void MovingManipulator::reportCameraPose()
{
    if (osg::ref_ptr<VisViewObject> view; _view.lock(view))
        view->sendCameraPose();
}

bool MovingManipulator::isActiveView() const
{
    if (!_viewerManager)
        return false;
    const VisViewObject* active = _viewerManager->activeView();
    osg::ref_ptr<VisViewObject> view;
    if (!active || !_view.lock(view))
        return false;
    // Either eye of a stereo pair steers the pair.
    return active == view.get() || active == view->partner();
}

void MovingManipulator::createMarker()
{
    _markerTransform = new osg::MatrixTransform;
    _markerTransform->addChild(markerGeode().get());
    _markerSwitch = new osg::Switch;
    _markerSwitch->setNewChildDefaultValue(false);
    _markerSwitch->addChild(_markerTransform.get());
    _markerSwitch->setComputeBoundingSphereCallback(new NoBound);
    if (osg::ref_ptr<VisViewObject> view; _view.lock(view))
        view->viewGroup()->addChild(_markerSwitch.get());
}

void MovingManipulator::placeMarker()
{
    if (!_markerTransform)
        return;
    if (!_markerEnabled) {
        showMarker(false);
        return;
    }
    const double s = markerScale(_distance);
    _markerTransform->setMatrix(osg::Matrixd::scale(s, s, s) * osg::Matrixd::translate(_center));
}

void MovingManipulator::showMarker(bool shown)
{
    if (!_markerSwitch)
        return;
    if (shown)
        _markerSwitch->setAllChildrenOn();
    else
        _markerSwitch->setAllChildrenOff();
}

bool MovingManipulator::markerShown() const
{
    return _markerSwitch && _markerSwitch->getNumChildren() > 0 && _markerSwitch->getValue(0);
}

void MovingManipulator::spaceMouseButtons(const rawDeviceEvent& buttons)
{
    if (buttons.button0 & 0x01)
        _rotationLock = !_rotationLock;
    if (buttons.button1 & 0x10)
        _distance *= SPACE_MOUSE_ZOOM;
    if (buttons.button1 & 0x20)
        _distance *= 1.0 / SPACE_MOUSE_ZOOM;
    reportCameraPose();
}

void MovingManipulator::spaceMouseTranslation(const rawDeviceEvent& motion)
{
    const double speed = _spaceMouse.movementSpeed;
    // The device's y axis points away from the user (into the screen), its z up.
    const osg::Vec3d step(spaceMouseResponse(motion.tx, speed),
                          -spaceMouseResponse(motion.tz, speed),
                          spaceMouseResponse(motion.ty, speed));
    _center += step * osg::Matrixd::rotate(_rotation);
    reportCameraPose();
}

void MovingManipulator::spaceMouseRotation(const rawDeviceEvent& motion)
{
    const double speed = _spaceMouse.rotationSpeed;
    const double rx = _rotationLock ? 0.0 : spaceMouseResponse(motion.rx, speed);
    const double ry = _rotationLock ? 0.0 : spaceMouseResponse(motion.ry, speed);
    const double rz = spaceMouseResponse(motion.rz, speed);
    osg::Quat turn;
    turn.makeRotate(rx, osg::Vec3d(1.0, 0.0, 0.0), ry, osg::Vec3d(0.0, 0.0, 1.0), -rz,
                    osg::Vec3d(0.0, 1.0, 0.0));
    // Turned in the camera's own frame: the camera turns about its eye.
    setByMatrix(osg::Matrixd::rotate(turn) * getMatrix());
    reportCameraPose();
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
