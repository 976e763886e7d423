#include "objects/hud/HUDPickHandler.h"

#include <osg/Matrixd>
#include <osg/ref_ptr>
#include <osgUtil/IntersectionVisitor>
#include <osgUtil/LineSegmentIntersector>

#include "objects/hud/HUDButton.h"
#include "scene/HudUnits.h"

using osgGA::GUIEventAdapter;

HUDPickHandler::HUDPickHandler(osg::Node* hudNode, osg::Camera* hudCamera, int aspectMode)
    : _hudNode(hudNode), _hudCamera(hudCamera), _aspectMode(aspectMode)
{
}

HUDPickHandler::~HUDPickHandler() = default;

HUDButton* HUDPickHandler::pick(const GUIEventAdapter& event)
{
    // The event's extents are the viewport of the view it belongs to; the
    // normalised coordinates count upwards whichever way the window does.
    const double width = double(event.getXmax()) - double(event.getXmin());
    const double height = double(event.getYmax()) - double(event.getYmin());
    const double x = event.getXnormalized();
    const double y = event.getYnormalized();
    _pointer = hud::hudPointer(_aspectMode, (x + 1.0) / 2.0 * width, (y + 1.0) / 2.0 * height,
                               width, height);

    osg::ref_ptr<osg::Node> node;
    osg::ref_ptr<osg::Camera> camera;
    if (!_hudNode.lock(node) || !_hudCamera.lock(camera))
        return nullptr;

    // A segment through the pointer in the HUD camera's projection space,
    // carried back into the HUD root's own units.
    const osg::Matrixd toHud =
        osg::Matrixd::inverse(camera->getViewMatrix() * camera->getProjectionMatrix());
    osg::ref_ptr<osgUtil::LineSegmentIntersector> intersector = new osgUtil::LineSegmentIntersector(
        osg::Vec3d(x, y, -1.0) * toHud, osg::Vec3d(x, y, 1.0) * toHud);
    osgUtil::IntersectionVisitor visitor(intersector.get());
    node->accept(visitor);

    for (const osgUtil::LineSegmentIntersector::Intersection& hit :
         intersector->getIntersections()) {
        for (auto it = hit.nodePath.rbegin(); it != hit.nodePath.rend(); ++it)
            if (auto* button = dynamic_cast<HUDButton*>(*it))
                return button;
    }
    return nullptr;
}

void HUDPickHandler::send(HUDButton* button, int code) const
{
    if (button)
        button->sendEvent(code, float(_pointer.x()), float(_pointer.y()));
}

bool HUDPickHandler::handle(const GUIEventAdapter& event, osgGA::GUIActionAdapter&)
{
    const int type = event.getEventType();
    switch (type) {
    case GUIEventAdapter::PUSH:
    case GUIEventAdapter::DOUBLECLICK: {
        HUDButton* hit = pick(event);
        send(hit, HUDButton::PRESSED);
        _pressed = hit;
        break;
    }
    case GUIEventAdapter::RELEASE: {
        HUDButton* hit = pick(event);
        osg::ref_ptr<HUDButton> pressed;
        if (hit && _pressed.lock(pressed) && pressed.get() == hit)
            send(hit, HUDButton::RELEASED);
        _pressed = nullptr;
        _dragged = nullptr;
        break;
    }
    case GUIEventAdapter::DRAG: {
        HUDButton* hit = pick(event);
        osg::ref_ptr<HUDButton> dragged;
        if (hit) {
            send(hit, HUDButton::DRAGGED);
            _dragged = hit;
        } else if (_dragged.lock(dragged)) {
            send(dragged.get(), HUDButton::DRAGGED);
        } else {
            return false;
        }
        _lastEvent = type;
        return true;
    }
    case GUIEventAdapter::MOVE: {
        // The move that follows a release may only repeat the release's
        // position, so it reports no hovering; but a pointer that left the
        // button in that one move must still tell it so, or a simulation
        // highlighting on hover keeps the highlight until the next motion.
        const bool afterRelease = _lastEvent == GUIEventAdapter::RELEASE;
        HUDButton* hit = pick(event);
        osg::ref_ptr<HUDButton> hovered;
        if (hit) {
            if (!afterRelease)
                send(hit, HUDButton::MOVED_OVER);
            _hovered = hit;
        } else if (_hovered.lock(hovered)) {
            send(hovered.get(), HUDButton::LEFT);
            _hovered = nullptr;
        }
        break;
    }
    case GUIEventAdapter::KEYUP:
        break;
    default:
        return false;
    }
    _lastEvent = type;
    return false;
}
