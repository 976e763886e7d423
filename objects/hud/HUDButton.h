#pragma once
// A clickable w x h rectangle centred on the element's origin: the way back
// from the head-up display to the simulation. The pick handler finds it under
// the pointer and has it send an event; the event goes out as a packet of
// its HUD object (item 1: float[2] pointer position in HUD units, item 30:
// int[1] event code), stamped with the object's number and connection by
// sendPacket and dropped when the object has no live connection (replay).
//
// A visible button is drawn half-transparent green; an invisible one draws
// nothing but is picked all the same.
//
// The button holds its object by an observer pointer: a button that outlives
// its object (kept by someone after the scene was cleared) sends nothing.
//
// Threading: GUI thread only (built while packets are applied, events sent
// from the viewer's event traversal).

#include <osg/Vec4>
#include <osg/observer_ptr>
#include <osg/ref_ptr>

#include "objects/builders/SimpleFace.h"
#include "objects/hud/HUDBaseClass.h"

class VisObject;

class HUDButton : public HUDBaseClass
{
public:
    enum Event
    {
        PRESSED = 1,
        RELEASED = 2,
        MOVED_OVER = 3,
        DRAGGED = 4,
        LEFT = 6,
    };

    HUDButton(float width, float height, bool visible, VisObject* owner);

    const char* className() const override { return "HUDButton"; }

    // Sends the event with the pointer position (x, y) in HUD units.
    void sendEvent(int code, float x, float y);

    // Green, alpha 0.5 when visible, 0 when not.
    static osg::Vec4 colourFor(bool visible);

    SimpleFace* face() const { return _face.get(); }

protected:
    ~HUDButton() override;

private:
    osg::ref_ptr<SimpleFace> _face;
    osg::observer_ptr<VisObject> _owner;
};
