#pragma once
// The words over the empty 3D view while no simulation is connected and no
// replay is shown: what Orvane waits for and how to give it something to
// show ("Waiting for a simulation on port 11000").
//
// It is an overlay camera of its own, drawn after the view into the same
// window (the console draws after it), so that it is part of the picture in
// both embeddings, in screenshots as on screen. Its texts are sized in
// pixels, whatever the window's shape.
//
// Threading: GUI thread only, between frames (the scene graph's threads run
// only inside the viewer's frame()).

#include <osg/Camera>
#include <osg/ref_ptr>

#include <string>

namespace osg {
class Geode;
}
namespace osgText {
class Text;
}
namespace osgViewer {
class View;
}

class OfflineNotice
{
public:
    // Character heights in pixels.
    static constexpr float TITLE_SIZE = 30.0f;
    static constexpr float DETAIL_SIZE = 18.0f;

    OfflineNotice();
    ~OfflineNotice();
    OfflineNotice(const OfflineNotice&) = delete;
    OfflineNotice& operator=(const OfflineNotice&) = delete;

    // Draws into the window of `view` from now on (hidden until show()).
    // False when the view has no window yet.
    bool attach(osgViewer::View& view);

    // Shows the two lines, or changes them while shown.
    void show(const std::string& title, const std::string& detail);
    void hide();
    bool visible() const;
    std::string title() const;
    std::string detail() const;

    osg::Camera* camera() const { return _camera.get(); }

private:
    osg::ref_ptr<osg::Camera> _camera;
    osg::ref_ptr<osg::Geode> _content;
    osg::ref_ptr<osgText::Text> _title;
    osg::ref_ptr<osgText::Text> _detail;
};
