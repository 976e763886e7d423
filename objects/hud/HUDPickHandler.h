#pragma once
// Finds the head-up display button under the pointer and has it tell the
// simulation what the pointer does. Every view with a HUD camera installs
// one, built with the HUD root, that camera and the view's HUD aspect mode.
//
// Per event (the pointer position travels with every send, in HUD units):
//  - push or double click on a button: PRESSED; the button is remembered as
//    pressed. A push beside every button forgets the pressed one.
//  - release: RELEASED when over the pressed button (nothing over another
//    one); the pressed and dragged buttons are forgotten.
//  - drag over a button: DRAGGED to it, and it is remembered as dragged; a
//    drag beside every button after that still sends DRAGGED to it. Such
//    drags are handled (the camera does not move); others are not.
//  - move over a button: MOVED_OVER (none right after a release, which may
//    only repeat the release's position), remembered as hovered; over no
//    button after hovering one: LEFT to that one, which is forgotten.
// Only drags report themselves as handled.
//
// The remembered buttons are observer pointers: when the scene is cleared
// they become null and are never reached again.
//
// Threading: GUI thread only (the viewer's event traversal).

#include <osg/Camera>
#include <osg/Node>
#include <osg/Vec2d>
#include <osg/observer_ptr>
#include <osgGA/GUIEventHandler>

class HUDButton;

class HUDPickHandler : public osgGA::GUIEventHandler
{
public:
    HUDPickHandler(osg::Node* hudNode, osg::Camera* hudCamera, int aspectMode);

    using osgGA::GUIEventHandler::handle;
    bool handle(const osgGA::GUIEventAdapter& event, osgGA::GUIActionAdapter& action) override;

    // The button under the pointer of `event`, or null; also works out the
    // pointer position in HUD units (pointer()).
    HUDButton* pick(const osgGA::GUIEventAdapter& event);

    // The pointer position in HUD units of the event handled last.
    const osg::Vec2d& pointer() const { return _pointer; }
    int aspectMode() const { return _aspectMode; }

protected:
    ~HUDPickHandler() override;

private:
    void send(HUDButton* button, int code) const;

    osg::observer_ptr<osg::Node> _hudNode;
    osg::observer_ptr<osg::Camera> _hudCamera;
    const int _aspectMode;
    osg::Vec2d _pointer;
    int _lastEvent = osgGA::GUIEventAdapter::NONE;
    osg::observer_ptr<HUDButton> _pressed;
    osg::observer_ptr<HUDButton> _hovered;
    osg::observer_ptr<HUDButton> _dragged;
};
