#include "view/InputTranslation.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

#include <osgGA/EventQueue>
#include <osgGA/GUIEventAdapter>

namespace view {

namespace {

using Key = osgGA::GUIEventAdapter::KeySymbol;

struct KeyPair
{
    int qt;
    int osg;
};

constexpr KeyPair KEYS[] = {
    {Qt::Key_Backspace, Key::KEY_BackSpace},
    {Qt::Key_F9, Key::KEY_F9},
    {Qt::Key_F10, Key::KEY_F10},
    {Qt::Key_PageUp, Key::KEY_Page_Up},
    {Qt::Key_PageDown, Key::KEY_Page_Down},
    {Qt::Key_Return, Key::KEY_Return},
    {Qt::Key_Enter, Key::KEY_KP_Enter},
    {Qt::Key_Tab, Key::KEY_Tab},
    {Qt::Key_Escape, Key::KEY_Escape},
    {Qt::Key_Delete, Key::KEY_Delete},
    {Qt::Key_Insert, Key::KEY_Insert},
    {Qt::Key_Home, Key::KEY_Home},
    {Qt::Key_End, Key::KEY_End},
    {Qt::Key_Left, Key::KEY_Left},
    {Qt::Key_Right, Key::KEY_Right},
    {Qt::Key_Up, Key::KEY_Up},
    {Qt::Key_Down, Key::KEY_Down},
    {Qt::Key_Shift, Key::KEY_Shift_L},
    {Qt::Key_Control, Key::KEY_Control_L},
    {Qt::Key_Alt, Key::KEY_Alt_L},
    {Qt::Key_Meta, Key::KEY_Meta_L},
    {Qt::Key_F1, Key::KEY_F1},
    {Qt::Key_F2, Key::KEY_F2},
    {Qt::Key_F3, Key::KEY_F3},
    {Qt::Key_F4, Key::KEY_F4},
    {Qt::Key_F5, Key::KEY_F5},
    {Qt::Key_F6, Key::KEY_F6},
    {Qt::Key_F7, Key::KEY_F7},
    {Qt::Key_F8, Key::KEY_F8},
    {Qt::Key_F11, Key::KEY_F11},
    {Qt::Key_F12, Key::KEY_F12},
};

void setModifiers(osgGA::EventQueue& queue, Qt::KeyboardModifiers modifiers)
{
    queue.getCurrentEventState()->setModKeyMask(osgModifiersFor(modifiers));
}

} // namespace

int osgKeyFor(int qtKey, const QString& text)
{
    for (const KeyPair& pair : KEYS)
        if (pair.qt == qtKey)
            return pair.osg;
    const QByteArray bytes = text.toLatin1();
    return bytes.isEmpty() ? 0 : static_cast<unsigned char>(bytes[0]);
}

int osgModifiersFor(Qt::KeyboardModifiers modifiers)
{
    using Mod = osgGA::GUIEventAdapter::ModKeyMask;
    int mask = 0;
    if (modifiers & Qt::ShiftModifier)
        mask |= Mod::MODKEY_LEFT_SHIFT | Mod::MODKEY_RIGHT_SHIFT;
    if (modifiers & Qt::ControlModifier)
        mask |= Mod::MODKEY_LEFT_CTRL | Mod::MODKEY_RIGHT_CTRL;
    if (modifiers & Qt::AltModifier)
        mask |= Mod::MODKEY_LEFT_ALT | Mod::MODKEY_RIGHT_ALT;
    if (modifiers & Qt::MetaModifier)
        mask |= Mod::MODKEY_LEFT_SUPER | Mod::MODKEY_RIGHT_SUPER; // Qt's Meta is the logo key
    return mask;
}

int osgButtonFor(Qt::MouseButton button)
{
    switch (button) {
    case Qt::LeftButton:
        return 1;
    case Qt::MiddleButton:
        return 2;
    case Qt::RightButton:
        return 3;
    default:
        return 0;
    }
}

void prepareEventQueue(osgGA::EventQueue& queue, int width, int height)
{
    queue.getCurrentEventState()->setMouseYOrientation(
        osgGA::GUIEventAdapter::Y_INCREASING_DOWNWARDS);
    queue.windowResize(0, 0, width, height);
}

void forwardMousePress(osgGA::EventQueue& queue, const QMouseEvent& event, double scale)
{
    setModifiers(queue, event.modifiers());
    const QPointF p = event.position() * scale;
    queue.mouseButtonPress(float(p.x()), float(p.y()), osgButtonFor(event.button()));
}

void forwardMouseRelease(osgGA::EventQueue& queue, const QMouseEvent& event, double scale)
{
    setModifiers(queue, event.modifiers());
    const QPointF p = event.position() * scale;
    queue.mouseButtonRelease(float(p.x()), float(p.y()), osgButtonFor(event.button()));
}

void forwardMouseMove(osgGA::EventQueue& queue, const QMouseEvent& event, double scale)
{
    setModifiers(queue, event.modifiers());
    const QPointF p = event.position() * scale;
    queue.mouseMotion(float(p.x()), float(p.y()));
}

void forwardWheel(osgGA::EventQueue& queue, const QWheelEvent& event)
{
    setModifiers(queue, event.modifiers());
    const int delta = event.angleDelta().y() != 0 ? event.angleDelta().y() : event.angleDelta().x();
    queue.mouseScroll(delta > 0 ? osgGA::GUIEventAdapter::SCROLL_UP
                                : osgGA::GUIEventAdapter::SCROLL_DOWN);
}

bool forwardKey(osgGA::EventQueue& queue, const QKeyEvent& event, bool pressed)
{
    const int key = osgKeyFor(event.key(), event.text());
    if (key == 0)
        return false;
    setModifiers(queue, event.modifiers());
    if (pressed)
        queue.keyPress(key);
    else
        queue.keyRelease(key);
    return true;
}

} // namespace view
