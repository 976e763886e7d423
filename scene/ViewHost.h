#pragma once
// What the object manager needs from the viewer manager: views created by
// the simulation register with it, and clearing the scene resets them and
// switches the fixed-function lights off. The viewer manager implements it;
// tests use a recording double.
//
// Threading: GUI thread only.

class ViewHost
{
public:
    virtual ~ViewHost() = default;
    // Removes the simulation's views and restores the default view.
    virtual void resetViews() = 0;
    // Switches GL_LIGHT0..GL_LIGHT7 off in the rendering context, so that a
    // cleared scene keeps no light of its lights.
    virtual void switchLightsOff() = 0;
};
