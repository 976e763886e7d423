// Qt input as the scene graph sees it: key codes, modifier masks, buttons,
// and the events that land in a window's event queue.

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <osgGA/EventQueue>
#include <osgGA/GUIEventAdapter>

#include "view/InputTranslation.h"

using namespace view;
using E = osgGA::GUIEventAdapter;

namespace {

struct KeyCase
{
    const char* name;
    int qtKey;
    QString text;
    int expected;
};

class KeyTest : public ::testing::TestWithParam<KeyCase>
{
};

TEST_P(KeyTest, Code)
{
    EXPECT_EQ(osgKeyFor(GetParam().qtKey, GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, KeyTest,
                         ::testing::Values(KeyCase{"Backspace", Qt::Key_Backspace, "\b", 0xFF08},
                                           KeyCase{"F9", Qt::Key_F9, "", 0xFFC6},
                                           KeyCase{"F10", Qt::Key_F10, "", 0xFFC7},
                                           KeyCase{"PageUp", Qt::Key_PageUp, "", 0xFF55},
                                           KeyCase{"PageDown", Qt::Key_PageDown, "", 0xFF56},
                                           KeyCase{"Return", Qt::Key_Return, "\r", 0xFF0D},
                                           KeyCase{"Space", Qt::Key_Space, " ", 0x20},
                                           KeyCase{"LowerCase", Qt::Key_A, "a", 'a'},
                                           KeyCase{"UpperCase", Qt::Key_A, "A", 'A'},
                                           KeyCase{"Digit", Qt::Key_7, "7", '7'},
                                           KeyCase{"FirstByteOfText", Qt::Key_unknown, "xy", 'x'},
                                           KeyCase{"Latin1", Qt::Key_Eacute, QString::fromUtf8("é"),
                                                   0xE9},
                                           KeyCase{"NoTextNoCode", Qt::Key_CapsLock, "", 0}),
                         [](const auto& row) { return std::string(row.param.name); });

struct ModifierCase
{
    const char* name;
    Qt::KeyboardModifiers modifiers;
    int expected;
};

class ModifierTest : public ::testing::TestWithParam<ModifierCase>
{
};

TEST_P(ModifierTest, BothBitsOfEachPair)
{
    EXPECT_EQ(osgModifiersFor(GetParam().modifiers), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ModifierTest,
    ::testing::Values(
        ModifierCase{"None", Qt::NoModifier, 0}, ModifierCase{"Shift", Qt::ShiftModifier, 0x3},
        ModifierCase{"Control", Qt::ControlModifier, 0xC},
        ModifierCase{"Alt", Qt::AltModifier, 0x30}, ModifierCase{"Meta", Qt::MetaModifier, 0x300},
        ModifierCase{"ShiftControl", Qt::ShiftModifier | Qt::ControlModifier, 0xF},
        ModifierCase{"All",
                     Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier,
                     0x33F},
        ModifierCase{"KeypadIsNoModifier", Qt::KeypadModifier, 0}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(ButtonTest, Numbers)
{
    EXPECT_EQ(osgButtonFor(Qt::LeftButton), 1);
    EXPECT_EQ(osgButtonFor(Qt::MiddleButton), 2);
    EXPECT_EQ(osgButtonFor(Qt::RightButton), 3);
    EXPECT_EQ(osgButtonFor(Qt::BackButton), 0);
    EXPECT_EQ(osgButtonFor(Qt::NoButton), 0);
}

// Qt's input events need a GUI application (their pointing device).
class ForwardTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        if (qGuiApp)
            return;
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "test_view";
        static char* argv[] = {name, nullptr};
        new QGuiApplication(argc, argv);
    }

    void SetUp() override
    {
        _queue = new osgGA::EventQueue;
        prepareEventQueue(*_queue, 200, 100);
        _queue->getCurrentEventState()->setModKeyMask(0);
        osgGA::EventQueue::Events events;
        _queue->takeEvents(events); // the resize
    }

    // A mouse event at (x, y), the same point in the widget and the window.
    static QMouseEvent mouse(QEvent::Type type, double x, double y, Qt::MouseButton button,
                             Qt::MouseButtons held, Qt::KeyboardModifiers modifiers = {})
    {
        return QMouseEvent(type, QPointF(x, y), QPointF(x, y), button, held, modifiers);
    }

    osgGA::EventQueue::Events take()
    {
        osgGA::EventQueue::Events events;
        _queue->takeEvents(events);
        return events;
    }

    const osgGA::GUIEventAdapter* only()
    {
        _events = take();
        EXPECT_EQ(_events.size(), 1u);
        return _events.empty() ? nullptr : _events.front()->asGUIEventAdapter();
    }

    osg::ref_ptr<osgGA::EventQueue> _queue;
    osgGA::EventQueue::Events _events;
};

TEST_F(ForwardTest, PressCarriesPositionButtonAndModifiers)
{
    const QMouseEvent press = mouse(QEvent::MouseButtonPress, 10, 20, Qt::RightButton,
                                    Qt::RightButton, Qt::ShiftModifier);
    forwardMousePress(*_queue, press, 1.0);
    const E* event = only();
    ASSERT_TRUE(event);
    EXPECT_EQ(event->getEventType(), E::PUSH);
    EXPECT_EQ(event->getButton(), E::RIGHT_MOUSE_BUTTON);
    EXPECT_FLOAT_EQ(event->getX(), 10.0f);
    EXPECT_FLOAT_EQ(event->getY(), 20.0f);
    EXPECT_EQ(event->getModKeyMask(), 0x3);
    // y grows downwards in Qt: 20 of 100 pixels from the top is above the
    // middle (the queue spans pixel centres 0 to 199 and 0 to 99).
    EXPECT_NEAR(event->getXnormalized(), -0.9, 0.01);
    EXPECT_NEAR(event->getYnormalized(), 0.6, 0.01);
}

TEST_F(ForwardTest, MoveIsDragWhileAButtonIsHeld)
{
    const QMouseEvent move = mouse(QEvent::MouseMove, 30, 40, Qt::NoButton, Qt::NoButton);
    forwardMouseMove(*_queue, move, 1.0);
    const E* free = only();
    ASSERT_TRUE(free);
    EXPECT_EQ(free->getEventType(), E::MOVE);

    const QMouseEvent press =
        mouse(QEvent::MouseButtonPress, 30, 40, Qt::LeftButton, Qt::LeftButton);
    forwardMousePress(*_queue, press, 1.0);
    take();
    forwardMouseMove(*_queue, move, 1.0);
    const E* drag = only();
    ASSERT_TRUE(drag);
    EXPECT_EQ(drag->getEventType(), E::DRAG);
    EXPECT_EQ(drag->getButtonMask(), unsigned(E::LEFT_MOUSE_BUTTON));
}

TEST_F(ForwardTest, ScaleTurnsLogicalIntoDevicePixels)
{
    const QMouseEvent move = mouse(QEvent::MouseMove, 30, 40, Qt::NoButton, Qt::NoButton);
    forwardMouseMove(*_queue, move, 2.0);
    const E* event = only();
    ASSERT_TRUE(event);
    EXPECT_FLOAT_EQ(event->getX(), 60.0f);
    EXPECT_FLOAT_EQ(event->getY(), 80.0f);
}

TEST_F(ForwardTest, ReleaseOfMiddleButton)
{
    const QMouseEvent press =
        mouse(QEvent::MouseButtonPress, 5, 5, Qt::MiddleButton, Qt::MiddleButton);
    const QMouseEvent release =
        mouse(QEvent::MouseButtonRelease, 6, 7, Qt::MiddleButton, Qt::NoButton);
    forwardMousePress(*_queue, press, 1.0);
    forwardMouseRelease(*_queue, release, 1.0);
    const auto events = take();
    ASSERT_EQ(events.size(), 2u);
    const E* event = events.back()->asGUIEventAdapter();
    EXPECT_EQ(event->getEventType(), E::RELEASE);
    EXPECT_EQ(event->getButton(), E::MIDDLE_MOUSE_BUTTON);
    EXPECT_EQ(event->getButtonMask(), 0u);
}

TEST_F(ForwardTest, WheelDirection)
{
    for (const auto& [delta, motion] :
         {std::pair{120, E::SCROLL_UP}, std::pair{-120, E::SCROLL_DOWN},
          std::pair{0, E::SCROLL_DOWN}}) {
        const QWheelEvent wheel(QPointF(1, 1), QPointF(1, 1), QPoint(), QPoint(0, delta),
                                Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        forwardWheel(*_queue, wheel);
        const E* event = only();
        ASSERT_TRUE(event);
        EXPECT_EQ(event->getEventType(), E::SCROLL);
        EXPECT_EQ(event->getScrollingMotion(), motion) << "delta " << delta;
    }
}

TEST_F(ForwardTest, KeysDownAndUp)
{
    const QKeyEvent down(QEvent::KeyPress, Qt::Key_F10, Qt::ControlModifier);
    const QKeyEvent up(QEvent::KeyRelease, Qt::Key_Q, Qt::NoModifier, "q");
    EXPECT_TRUE(forwardKey(*_queue, down, true));
    EXPECT_TRUE(forwardKey(*_queue, up, false));
    const auto events = take();
    ASSERT_EQ(events.size(), 2u);
    const E* first = events.front()->asGUIEventAdapter();
    const E* second = events.back()->asGUIEventAdapter();
    EXPECT_EQ(first->getEventType(), E::KEYDOWN);
    EXPECT_EQ(first->getKey(), 0xFFC7);
    EXPECT_EQ(first->getModKeyMask(), 0xC);
    EXPECT_EQ(second->getEventType(), E::KEYUP);
    EXPECT_EQ(second->getKey(), 'q');
    EXPECT_EQ(second->getModKeyMask(), 0);
}

TEST_F(ForwardTest, KeyWithoutCodeIsNotQueued)
{
    const QKeyEvent caps(QEvent::KeyPress, Qt::Key_CapsLock, Qt::NoModifier);
    EXPECT_FALSE(forwardKey(*_queue, caps, true));
    EXPECT_TRUE(take().empty());
}

} // namespace
