#pragma once
// A view: one camera onto the shared scene, in a viewport of the main viewer
// window, in a full-screen window of its own, or as one eye of a stereo pair
// on two screens. A view object is a scene object (type code 9) that the
// simulation creates and steers with packets, and it holds the composite
// viewer's view it stands for. The main window's default view is a view
// object too, made by the viewer manager without a packet.
//
// Each view carries its camera manipulator, the on-screen console and a
// statistics handler as event handlers, and optionally a head-up display
// camera showing the HUD root. Its scene data is its own group holding the
// scene root (and the HUD camera). When the user moves its camera the view
// reports the new pose to the simulation (item 1).
//
// The viewer's view is a separate object owned by the view object rather
// than a second base class: both bases would carry their own reference
// count, and either count reaching zero would delete the whole object.
//
// Threading: GUI thread only (created and updated inside the object
// manager's processing, resized from window resizes and the frame).

#include <osg/Camera>
#include <osg/Group>
#include <osg/Vec4f>
#include <osg/observer_ptr>
#include <osg/ref_ptr>

#include "scene/VisObject.h"
#include "view/CameraPose.h"
#include "view/ViewGeometry.h"
#include "view/ViewParameters.h"

namespace osg {
class View;
}
namespace osgViewer {
class GraphicsWindow;
class View;
} // namespace osgViewer

class ViewerManager;

namespace view {
class MovingManipulator;
}

class VisViewObject : public VisObject
{
public:
    // A view of `viewerManager`'s viewer. The main view is set up at once
    // with its defaults; other views are set up by their creating packet.
    VisViewObject(ViewerManager* viewerManager, bool isMainView, bool isSecondEye,
                  const ObjectContext& context = {});

    const char* className() const override { return "VisViewObject"; }

    // Recomputes the viewport and the projections for a window of
    // width x height pixels.
    void resize(int width, int height);
    // A new background, shown from the next frame on.
    void setClearColour(const osg::Vec4f& colour);
    // Reports the camera pose to the simulation unless it is the one reported last.
    void sendCameraPose();
    // Sets the camera's projection: perspective, or orthographic while the
    // viewer manager is in orthographic mode.
    void applyProjection();
    // Returns the camera to its home position: the one the simulation gave
    // the view (items 57 + 69) when it gave one; otherwise, with `automatic`,
    // framing the scene from the direction of `standardEye`, else standing at
    // `standardEye` looking at the origin.
    void goHome(bool automatic, const osg::Vec3d& standardEye);
    // Whether the simulation gave the view a home position.
    bool hasOwnHome() const { return _ownHome; }

    // The view object that holds a viewer's view, or null.
    static VisViewObject* fromView(const osg::View* view);

    osgViewer::View* view() const;
    osg::Camera* camera() const;
    osg::Group* viewGroup() const { return _viewGroup.get(); }
    osg::Camera* hudCamera() const { return _hudCamera.get(); }
    view::MovingManipulator* manipulator() const;
    VisViewObject* partner() const { return _partner.get(); }
    ViewerManager* viewerManager() const { return _viewerManager; }
    bool isSecondEye() const { return _isSecondEye; }
    const view::ViewParameters& parameters() const { return _parameters; }
    const view::Viewport& viewport() const { return _viewport; }
    const view::CameraPlacement& placement() const { return _placement; }
    // The graphics window the camera draws into.
    osgViewer::GraphicsWindow* graphicsWindow() const;
    const osg::Matrixd& lastCameraPose() const { return _poseReporter.lastPose(); }

    // Takes the camera off its graphics window (the view leaves the viewer).
    void detachCamera();

protected:
    // Failure lines name the view's creation text.
    Skeleton skeleton() const override;
    bool build(const GNP2::Packet& packet) override;
    void apply(const GNP2::Packet& arrived) override;
    ~VisViewObject() override;

private:
    class ObjectView;

    void setUpView();
    void setManipulator(view::MovingManipulator* manipulator);
    void createHudCamera();
    void setHomePosition();
    void lookAt();
    void moveCentre();

    ViewerManager* const _viewerManager;
    const bool _isSecondEye;
    osg::ref_ptr<ObjectView> _view;
    osg::ref_ptr<osg::Group> _viewGroup;
    osg::ref_ptr<osg::Camera> _hudCamera;
    osg::ref_ptr<view::MovingManipulator> _manipulator;
    osg::ref_ptr<VisViewObject> _partner;
    view::ViewParameters _parameters;
    view::Viewport _viewport;
    view::CameraPlacement _placement;
    view::CameraPoseReporter _poseReporter;
    bool _ownHome = false;
};
