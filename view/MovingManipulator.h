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
//    as it grows, until the user first moves it. An automatic home looks at
//    the scene's bounding sphere from the home direction (the standard
//    camera position's, (1, -1, 1) unless the settings say otherwise), far
//    enough for the view's field of view to show it whole, whatever the
//    projection.
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

    // The direction (eye minus centre) an automatic home looks from.
    void setHomeDirection(const osg::Vec3d& direction) { _homeDirection = direction; }
    const osg::Vec3d& homeDirection() const { return _homeDirection; }
    // Frames the scene from the home direction (see above); the camera
    // argument is not needed: the view's own field of view is used, also
    // while it projects orthographically.
    void computeHomePosition(const osg::Camera* camera = nullptr,
                             bool useBoundingBox = false) override;

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
    osg::Vec3d _homeDirection{1.0, -1.0, 1.0};
    const SpaceMouseSettings _spaceMouse;
};

} // namespace view
