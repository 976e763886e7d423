#pragma once
// The camera manipulator of every view: a trackball (rotate with the left
// button, pan with the middle button, zoom with the right button and the
// wheel) with the program's additions:
//  - a look-at mode in which the simulation places the camera and user input
//    is ignored;
//  - the home position the view sets from its packet;
//  - after every camera change caused by input, the view reports the new
//    camera pose to the simulation;
//  - releasing a mouse button makes its view the viewer manager's active view;
//  - with automatic home (the main view) the camera keeps framing the scene
//    as it grows, until the user first moves it.
// The two views of a stereo pair share one manipulator; it reports through
// the left eye.
//
// Threading: GUI thread only (the viewer's event traversal and the object
// manager's processing).

#include <osg/BoundingSphere>
#include <osg/observer_ptr>
#include <osgGA/TrackballManipulator>

#include "view/ViewGeometry.h"
#include "view/ViewSettings.h"

class ViewerManager;
class VisViewObject;

namespace view {

class MovingManipulator : public osgGA::TrackballManipulator
{
public:
    MovingManipulator(ViewerManager* viewerManager, VisViewObject* view);

    const char* className() const override { return "MovingManipulator"; }

    using osgGA::TrackballManipulator::handle;
    bool handle(const osgGA::GUIEventAdapter& event, osgGA::GUIActionAdapter& actions) override;

    bool lookAtMode() const { return _lookAtMode; }
    void setLookAtMode(bool on) { _lookAtMode = on; }
    // Puts the camera at a placement (a valid one, see usableLookAt).
    void place(const LookAt& placement);
    // Whether the user has moved the camera since the manipulator was made.
    bool userMoved() const { return _userMoved; }

    VisViewObject* view() const { return _view.get(); }
    // The 3D-mouse settings, read from the store when the manipulator was made.
    const SpaceMouseSettings& spaceMouse() const { return _spaceMouse; }

protected:
    ~MovingManipulator() override;

private:
    static bool mayMoveCamera(const osgGA::GUIEventAdapter& event, bool thrown);
    void followSceneBound(const osgGA::GUIEventAdapter& event, osgGA::GUIActionAdapter& actions);

    ViewerManager* const _viewerManager;
    osg::observer_ptr<VisViewObject> _view;
    bool _lookAtMode = false;
    bool _userMoved = false;
    osg::BoundingSphere _framedBound; // the scene bound the automatic home was made for
    const SpaceMouseSettings _spaceMouse;
};

} // namespace view
