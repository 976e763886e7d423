#pragma once
// The camera manipulator of every view: a trackball (rotate with the left
// button, pan with the middle button or left and right together, zoom with
// the right button) with the program's additions:
//  - the scroll wheel dollies the camera forward or back by a tenth of its
//    distance, keeping the distance to the rotation centre;
//  - a semi-transparent wire-frame marker at the rotation centre (F9 turns
//    it on): shown while a button is held and for one second after wheel or
//    3D-mouse use, growing in steps of 5 units with the distance;
//  - a look-at mode in which the simulation places the camera and user input
//    is ignored;
//  - the home position the view sets from its packet; the space bar (on
//    release) returns there;
//  - after every camera change the view reports the new pose to the
//    simulation;
//  - releasing a mouse button makes its view the viewer manager's active
//    view; only the active view follows the 3D mouse (rawDeviceEvent user
//    events), when "3DMouse/useSpaceMouse" is set. Its buttons lock the
//    rotation to one axis and zoom in and out; its six axes move and turn the
//    camera about its eye with a squared, signed response;
//  - with automatic home (the main view) the camera keeps framing the scene
//    as it grows, until the user first moves it. An automatic home looks at
//    the scene's bounding sphere from the home direction (the standard
//    camera position's, (1, -1, 1) unless the settings say otherwise), far
//    enough for the view's field of view to show it whole, whatever the
//    projection.
// Keys other than the space bar (F9 included) are left to the window's other
// handlers (the console's F10, the replay keys).
// The two views of a stereo pair share one manipulator; it reports through
// the left eye.
//
// Threading: GUI thread only (the viewer's event traversal and the object
// manager's processing).

#include <cstdint>

#include <osg/BoundingSphere>
#include <osg/MatrixTransform>
#include <osg/Switch>
#include <osg/observer_ptr>
#include <osgGA/TrackballManipulator>

#include "view/ViewGeometry.h"
#include "view/ViewSettings.h"

class ViewerManager;
class VisViewObject;
class rawDeviceEvent;

namespace view {

// The marker's scale for a camera distance: the distance rounded down to a
// multiple of 5, plus 1.
double markerScale(double distance);
// The 3D mouse's response to a deflection: its square times `speed`, with the
// deflection's sign.
double spaceMouseResponse(std::int32_t value, double speed);

class MovingManipulator : public osgGA::TrackballManipulator
{
public:
    // The wheel moves the camera by this fraction of its distance.
    static constexpr double WHEEL_STEP = 0.1;
    // Two recorded pointer positions further apart than this (in normalized
    // window units) are a jump, not a movement.
    static constexpr double MAX_POINTER_STEP = 0.5;
    // A release this soon after the last motion throws the camera.
    static constexpr double THROW_WINDOW = 0.02;
    // How long the marker stays after wheel or 3D-mouse use (seconds).
    static constexpr double MARKER_AFTERGLOW = 1.0;
    static constexpr double SPACE_MOUSE_ZOOM = 0.9;

    MovingManipulator(ViewerManager* viewerManager, VisViewObject* view);

    const char* className() const override { return "MovingManipulator"; }

    using osgGA::TrackballManipulator::handle;
    bool handle(const osgGA::GUIEventAdapter& event, osgGA::GUIActionAdapter& actions) override;
    // One step of the camera from the recorded pointer events; returns
    // whether the camera moved (a wheel step moves it but answers false).
    bool calcMovement();

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

    bool markerEnabled() const { return _markerEnabled; }
    bool markerShown() const;
    // The marker's nodes: null until the first event.
    osg::Switch* markerSwitch() const { return _markerSwitch.get(); }
    osg::MatrixTransform* markerTransform() const { return _markerTransform.get(); }
    bool rotationLock() const { return _rotationLock; }
    bool thrown() const { return _thrown; }

protected:
    ~MovingManipulator() override;
    // Tells the simulation where the camera is now (the view sends the pose
    // unless it is the one sent last).
    virtual void reportCameraPose();

private:
    void followSceneBound(const osgGA::GUIEventAdapter& event, osgGA::GUIActionAdapter& actions);
    bool onFrame(const osgGA::GUIEventAdapter& event, osgGA::GUIActionAdapter& actions);
    bool onPush(const osgGA::GUIEventAdapter& event, osgGA::GUIActionAdapter& actions);
    bool onRelease(const osgGA::GUIEventAdapter& event, osgGA::GUIActionAdapter& actions);
    bool onKeyUp(const osgGA::GUIEventAdapter& event, osgGA::GUIActionAdapter& actions);
    bool onUserEvent(const osgGA::GUIEventAdapter& event, osgGA::GUIActionAdapter& actions);
    // Records the event and moves the camera from it; the camera stops spinning.
    void step(const osgGA::GUIEventAdapter& event, osgGA::GUIActionAdapter& actions);

    bool isActiveView() const;
    void createMarker();
    void placeMarker();
    void showMarker(bool shown);
    void spaceMouseButtons(const rawDeviceEvent& buttons);
    void spaceMouseTranslation(const rawDeviceEvent& motion);
    void spaceMouseRotation(const rawDeviceEvent& motion);

    ViewerManager* const _viewerManager;
    osg::observer_ptr<VisViewObject> _view;
    bool _lookAtMode = false;
    bool _userMoved = false;
    osg::BoundingSphere _framedBound; // the scene bound the automatic home was made for
    osg::Vec3d _homeDirection{1.0, -1.0, 1.0};
    const SpaceMouseSettings _spaceMouse;

    osg::ref_ptr<osg::Switch> _markerSwitch;
    osg::ref_ptr<osg::MatrixTransform> _markerTransform;
    bool _markerEnabled = false;
    bool _initialized = false;        // the marker exists
    double _lastSpaceMouseTime = 0.0; // last wheel or 3D-mouse use; 0 = none
    double _frameTime = 0.0;
    double _previousFrameTime = 0.0;
    double _frameDelta = 0.0;
    bool _rotationLock = false;
};

} // namespace view
