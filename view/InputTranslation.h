#pragma once
// Qt input turned into scene-graph events. Both embeddings of the viewer
// receive mouse, wheel and key events as Qt events on their widget and put
// them into the graphics window's event queue, where the view's handlers and
// camera manipulator read them.
//
// Keys: Backspace, F9, F10, Page Up and Page Down map to the scene graph's
// key codes, and so do the keys its handlers rely on (Return, Tab, Escape,
// Delete, the arrows, Home/End, Insert, F1-F12, the modifier keys); any other
// key is the first byte of its text. Modifiers set both bits of a pair
// (Shift 0x3, Control 0xC, Alt 0x30, Meta 0x300). Buttons: left 1, middle 2,
// right 3, others 0. Wheel: a positive delta scrolls up, else down.
// Positions are in the widget's pixels, y downwards as Qt gives them.
//
// Threading: GUI thread only.

#include <QString>
#include <Qt>

class QKeyEvent;
class QMouseEvent;
class QWheelEvent;

namespace osgGA {
class EventQueue;
}

namespace view {

// The scene graph's key code for a Qt key and its text; 0 when the key has
// none (a key without text and without its own code).
int osgKeyFor(int qtKey, const QString& text);
int osgModifiersFor(Qt::KeyboardModifiers modifiers);
int osgButtonFor(Qt::MouseButton button);

// Prepares a window's event queue for translated input: y grows downwards
// over a window of width x height pixels.
void prepareEventQueue(osgGA::EventQueue& queue, int width, int height);

// `scale` converts the widget's logical coordinates to pixels.
void forwardMousePress(osgGA::EventQueue& queue, const QMouseEvent& event, double scale);
void forwardMouseRelease(osgGA::EventQueue& queue, const QMouseEvent& event, double scale);
void forwardMouseMove(osgGA::EventQueue& queue, const QMouseEvent& event, double scale);
void forwardWheel(osgGA::EventQueue& queue, const QWheelEvent& event);
// Returns whether the key was put into the queue.
bool forwardKey(osgGA::EventQueue& queue, const QKeyEvent& event, bool pressed);

} // namespace view
