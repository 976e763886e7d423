#pragma once
// What the scene needs from the viewer manager: it makes the views the
// simulation creates (type code 9), and clearing the scene resets them and
// switches the fixed-function lights off. The viewer manager implements it;
// tests use a recording double.
//
// Threading: GUI thread only.

struct ObjectContext;
class VisObject;

class ViewHost
{
public:
    virtual ~ViewHost() = default;
    // A new view object of this host's viewer, or null when the host makes
    // none.
    virtual VisObject* createView(const ObjectContext& context) = 0;
    // Removes the simulation's views and restores the default view.
    virtual void resetViews() = 0;
    // Switches GL_LIGHT0..GL_LIGHT7 off in the rendering context, so that a
    // cleared scene keeps no light of its lights.
    virtual void switchLightsOff() = 0;
};
