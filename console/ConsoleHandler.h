#pragma once
// The on-screen console: a translucent panel over a view holding the last
// log lines and a one-line command prompt. One instance exists for the whole
// process; every view adds it as an event handler. On the first event from a
// view it hangs its own post-render camera (an orthographic 1000 x 1000
// space) into the first graphics window of that view's viewer, as a slave of
// the view, drawn after every view of that window. F10 shows and hides it,
// and so does an error that asks the log to show it; keys typed while it is
// visible go to the prompt and Return hands the command to the installed
// command handler.
//
// The lines live in the thread-safe console::Log; the keyboard logic in
// console::ConsoleInput. This class draws them.
//
// Drawing text is costly (with a software renderer a line of it costs tens
// of milliseconds a frame), and the console shows the same text frame after
// frame. So the texts are drawn only when they change: a render-to-texture
// camera draws panel and texts into an image of the panel's size in the
// frame where they were rebuilt (or the window's size changed), and every
// frame draws that image as one quad. A console whose text does not change
// costs what one textured quad costs.
//
// Threading: handle() and everything that touches OSG nodes run on the GUI
// thread, inside the viewer's event traversal. Log writers on other threads
// only raise the atomic flags in _signals; the texts are rebuilt at the next
// event (every frame delivers one), so the scene graph is never changed from
// another thread. Texts, image and the image camera are DYNAMIC, so threaded
// viewers finish drawing them before the next event traversal.

#include "console/ConsoleInput.h"

#include <osg/Camera>
#include <osg/Geode>
#include <osg/Switch>
#include <osg/Texture2D>
#include <osg/Vec4>
#include <osgGA/GUIEventHandler>
#include <osgText/Font>

#include <atomic>
#include <memory>
#include <string>

namespace osgText {
class Text;
}
namespace osgViewer {
class View;
}

namespace console {

// The font file the console asks for; it resolves to an installed font.
inline constexpr const char* kConsoleFont = "fonts/lucon.ttf";

// Colour of a level's lines (the prompt uses level 4's).
osg::Vec4 levelColour(int level);

class ConsoleHandler : public osgGA::GUIEventHandler
{
public:
    // The process-wide console, created on first use with the program's
    // command handler (CustomConsoleHandler) installed. It is never destroyed:
    // its camera may still hold a graphics window when static objects go.
    static ConsoleHandler& instance();

    // A console without a command handler that draws the process log.
    ConsoleHandler();

    using osgGA::GUIEventHandler::handle;
    bool handle(const osgGA::GUIEventAdapter& ea, osgGA::GUIActionAdapter& aa) override;

    void setCommandHandler(std::shared_ptr<CommandHandler> handler);
    CommandHandler* commandHandler() const { return _input.commandHandler(); }

    bool visible() const { return _input.visible(); }
    bool initialized() const { return _initialized; }
    const std::string& input() const { return _input.input(); }
    // Whether the panel is switched on. show() (an error) switches it on
    // and makes the console visible, as F10 does.
    bool panelOn() const;

    osg::Camera* camera() const { return _camera.get(); }
    // The texts of the last redraw: the log lines, newest first, then the prompt.
    const osg::Geode* textGeode() const { return _texts.get(); }
    // The image the texts are drawn into, and whether they are drawn into
    // it in the coming frame.
    const osg::Texture2D* image() const { return _image.get(); }
    bool imageDrawPending() const { return _imageCamera->getNodeMask() != 0; }
    osgText::Font* font() const { return _font.get(); }

    // How many rows the text wraps to in the console's font and width, at
    // most the rows above the prompt.
    int rowsOf(std::string_view text) const;

protected:
    ~ConsoleHandler() override;

private:
    // Raised from any thread by the log's listeners; shared with them so that
    // a listener running while the console goes away touches live memory.
    struct Signals
    {
        std::atomic<bool> dirty{true};
        std::atomic<bool> showRequested{false};
    };

    void buildScene();
    bool attach(osgViewer::View& view);
    // `frame` is the number of the frame being prepared.
    void applyRequests(unsigned int frame);
    // Sizes the image to the panel's pixels in the window; true when it changed.
    bool fitImage();
    // Has the image drawn in the frame being prepared.
    void requestImage(unsigned int frame);
    void setPanelOn(bool on);
    void redraw();
    osg::ref_ptr<osgText::Text> makeText(std::string_view text, int level) const;
    osg::ref_ptr<osgText::Text> placeText(std::string_view text, int level, int firstRow,
                                          int rowCount) const;

    osg::ref_ptr<osg::Camera> _camera;
    osg::ref_ptr<osg::Switch> _switch;
    osg::ref_ptr<osg::Geode> _panel;        // the quad showing _image
    osg::ref_ptr<osg::Camera> _imageCamera; // draws panel colour and _texts into _image
    osg::ref_ptr<osg::Texture2D> _image;
    osg::ref_ptr<osg::Geode> _texts;
    // The frame whose rendering draws the image (GUI thread only): the image
    // camera is switched off again when a later frame is prepared.
    unsigned int _imageFrame = 0;
    osg::ref_ptr<osgText::Font> _font;
    float _ascent = 0.0f; // height of the tallest glyphs above the base line
    ConsoleInput _input;
    bool _initialized = false; // GUI thread only
    std::shared_ptr<Signals> _signals;
};

} // namespace console
