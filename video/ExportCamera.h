#pragma once
// The camera of an export, when the command line chooses one:
//  - view N: the simulation's view object N, as the replay moves it (its
//    eye, centre, up, field of view and background), filling the picture;
//  - a fixed camera: eye, centre and up;
//  - following object OBJ: the camera (view N's, the fixed one, or the
//    default view's as the export starts) moves with the object, keeping
//    the offset it had from it in the first frame.
// The default view draws the export with that camera; the simulation's
// views draw nothing meanwhile. Everything is put back when the object goes.
// Without a choice nothing changes: the export draws what the window shows.
//
// Threading: GUI thread, between the viewer's frames.

#include <optional>
#include <string>

#include <vector>

#include <osg/Camera>
#include <osg/Matrixd>
#include <osg/Vec3d>
#include <osg/Vec4>
#include <osg/observer_ptr>

class ObjectManager;
class ViewerManager;

namespace video {

struct LookAt
{
    osg::Vec3d eye;
    osg::Vec3d centre;
    osg::Vec3d up{0.0, 0.0, 1.0};
};

struct CameraChoice
{
    std::optional<int> view;   // object number of a simulation view
    std::optional<int> follow; // object number of a placed object
    std::optional<LookAt> fixed;

    bool empty() const { return !view && !follow && !fixed; }
};

class ExportCamera
{
public:
    ExportCamera(ViewerManager& viewer, ObjectManager& objects, const CameraChoice& choice);
    ~ExportCamera();
    ExportCamera(const ExportCamera&) = delete;
    ExportCamera& operator=(const ExportCamera&) = delete;

    // Points the camera for the frame about to be drawn into a buffer of
    // width x height. Empty, or why the choice cannot be had now (the
    // replay has no such view or object at this time).
    std::string beforeFrame(int width, int height);

private:
    void silenceSimulationViews();

    ViewerManager& _viewer;
    ObjectManager& _objects;
    const CameraChoice _choice;
    bool _started = false;
    std::optional<osg::Matrixd> _startPose;  // the default view's, put back afterwards
    std::optional<osg::Matrixd> _followFrom; // its framing of the scene, for following alone
    bool _mainAutoHome = false;
    std::optional<osg::Vec3d> _followStart; // the followed object's, in the first frame
    // What is put back: the default view's cull mask, background and
    // projection, and each silenced view's masks.
    unsigned int _mainCullMask = 0;
    osg::Vec4 _mainBackground;
    osg::Matrixd _mainProjection;
    struct Silenced
    {
        osg::observer_ptr<osg::Camera> camera;
        unsigned int cullMask;
        unsigned int clearMask;
    };
    std::vector<Silenced> _silenced;
};

} // namespace video
