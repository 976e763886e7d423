// The camera manipulator driven by synthetic events, without a window: the
// trackball steps for each button, the wheel's dolly, the jump limit, the
// thrown camera, the marker and its size steps, the space bar, the 3D-mouse
// response curve, and which keys it leaves to others.

#include <gtest/gtest.h>

#include <cmath>

#include <osgGA/GUIActionAdapter>
#include <osgGA/GUIEventAdapter>

#include "tests/support/SettingsFixture.h"
#include "view/MovingManipulator.h"
#include "view/RawDeviceEvent.h"

using view::MovingManipulator;
using E = osgGA::GUIEventAdapter;

namespace {

class Actions : public osgGA::GUIActionAdapter
{
public:
    void requestRedraw() override { ++redraws; }
    void requestContinuousUpdate(bool on) override { continuous = on; }
    void requestWarpPointer(float, float) override {}
    int redraws = 0;
    bool continuous = false;
};

// Counts the pose reports a view would send (changed poses only, as the
// view does).
class CountingManipulator : public MovingManipulator
{
public:
    CountingManipulator() : MovingManipulator(nullptr, nullptr) {}
    int reports = 0;

protected:
    void reportCameraPose() override
    {
        const osg::Matrixd pose = getMatrix();
        if (pose != _last)
            ++reports;
        _last = pose;
    }

private:
    osg::Matrixd _last{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
};

// An event at normalized position (x, y), y upwards.
osg::ref_ptr<E> event(E::EventType type, double time, float x = 0, float y = 0,
                      unsigned int buttons = 0)
{
    osg::ref_ptr<E> e = new E;
    e->setEventType(type);
    e->setTime(time);
    e->setInputRange(-1, -1, 1, 1);
    e->setMouseYOrientation(E::Y_INCREASING_UPWARDS);
    e->setX(x);
    e->setY(y);
    e->setButtonMask(buttons);
    return e;
}

osg::ref_ptr<E> key(E::EventType type, int symbol)
{
    osg::ref_ptr<E> e = event(type, 0.0);
    e->setKey(symbol);
    return e;
}

osg::ref_ptr<E> scroll(double time, E::ScrollingMotion motion)
{
    osg::ref_ptr<E> e = event(E::SCROLL, time);
    e->setScrollingMotion(motion);
    return e;
}

osg::Vec3d eyeOf(const MovingManipulator& m)
{
    return m.getMatrix().getTrans();
}

// The camera's axes in the world: right, up, backwards.
osg::Vec3d axis(const MovingManipulator& m, const osg::Vec3d& local)
{
    return local * osg::Matrixd::rotate(m.getRotation());
}

class Manipulator : public settings_test::StoreFixture
{
protected:
    void SetUp() override
    {
        StoreFixture::SetUp();
        _m = new CountingManipulator;
        // Looking along +y at the origin from 10 units away, z up.
        _m->setTransformation(osg::Vec3d(0, -10, 0), osg::Vec3d(0, 0, 0), osg::Vec3d(0, 0, 1));
    }

    bool handle(const osg::ref_ptr<E>& e) { return _m->handle(*e, _actions); }

    // A drag with `buttons` from (x0, y0) to (x1, y1) 0.1 s later.
    void drag(unsigned int buttons, float x0, float y0, float x1, float y1)
    {
        EXPECT_TRUE(handle(event(E::PUSH, 1.0, x0, y0, buttons)));
        EXPECT_TRUE(handle(event(E::DRAG, 1.1, x1, y1, buttons)));
    }

    osg::ref_ptr<CountingManipulator> _m;
    Actions _actions;
};

TEST(ManipulatorMaths, MarkerGrowsInStepsOfFive)
{
    EXPECT_DOUBLE_EQ(view::markerScale(0.0), 1.0);
    EXPECT_DOUBLE_EQ(view::markerScale(4.9), 1.0);
    EXPECT_DOUBLE_EQ(view::markerScale(5.0), 6.0);
    EXPECT_DOUBLE_EQ(view::markerScale(12.5), 11.0);
    EXPECT_DOUBLE_EQ(view::markerScale(103.0), 101.0);
}

TEST(ManipulatorMaths, SpaceMouseResponseIsSquaredAndSigned)
{
    EXPECT_EQ(view::spaceMouseResponse(0, 1e-3), 0.0);
    EXPECT_DOUBLE_EQ(view::spaceMouseResponse(10, 1e-3), 0.1);
    EXPECT_DOUBLE_EQ(view::spaceMouseResponse(-10, 1e-3), -0.1);
    EXPECT_DOUBLE_EQ(view::spaceMouseResponse(20, 1e-3), 4 * view::spaceMouseResponse(10, 1e-3));
    EXPECT_DOUBLE_EQ(view::spaceMouseResponse(-350, 1e-7), -350.0 * 350.0 * 1e-7);
}

TEST_F(Manipulator, LeftDragTurnsTheCameraAboutTheCentre)
{
    const osg::Vec3d right = axis(*_m, {1, 0, 0});
    const osg::Vec3d before = eyeOf(*_m);
    drag(E::LEFT_MOUSE_BUTTON, 0.0f, 0.0f, 0.1f, 0.0f);

    const osg::Vec3d after = eyeOf(*_m);
    EXPECT_NEAR(_m->getCenter().length(), 0.0, 1e-12);
    EXPECT_NEAR(_m->getDistance(), 10.0, 1e-9);
    EXPECT_NEAR(after.length(), 10.0, 1e-9);
    // The trackball of size 0.8 turns by asin(|p2 - p1| / 1.6), the points on
    // its sphere.
    const double z1 = 0.8, z2 = std::sqrt(0.64 - 0.01);
    const double expected = std::asin(std::sqrt(0.01 + (z1 - z2) * (z1 - z2)) / 1.6);
    const double turned = std::acos((before * after) / 100.0);
    EXPECT_NEAR(turned, expected, 1e-6);
    // The scene follows the pointer to the right: the eye goes left.
    EXPECT_LT((after - before) * right, 0.0);
    EXPECT_EQ(_m->reports, 2) << "the pose before and after the step";
    EXPECT_TRUE(_m->userMoved());
}

TEST_F(Manipulator, MiddleDragAndBothButtonsPan)
{
    const osg::Vec3d right = axis(*_m, {1, 0, 0});
    const osg::Vec3d up = axis(*_m, {0, 1, 0});
    drag(E::MIDDLE_MOUSE_BUTTON, 0.0f, 0.0f, 0.1f, -0.2f);
    // The centre moves against the pointer by 0.3 distance per unit.
    const osg::Vec3d expected = right * (0.1 * -3.0) + up * (-0.2 * -3.0);
    EXPECT_NEAR((_m->getCenter() - expected).length(), 0.0, 1e-6);
    EXPECT_NEAR(_m->getDistance(), 10.0, 1e-12);

    const osg::Vec3d centre = _m->getCenter();
    drag(E::LEFT_MOUSE_BUTTON | E::RIGHT_MOUSE_BUTTON, 0.0f, 0.0f, 0.1f, 0.0f);
    EXPECT_NEAR((_m->getCenter() - (centre + right * -0.3)).length(), 0.0, 1e-6);
}

TEST_F(Manipulator, RightDragZoomsAndAtTheClosestDistancePushesTheCentre)
{
    drag(E::RIGHT_MOUSE_BUTTON, 0.0f, 0.0f, 0.0f, 0.2f);
    EXPECT_NEAR(_m->getDistance(), 12.0, 1e-6);
    drag(E::RIGHT_MOUSE_BUTTON, 0.0f, 0.0f, 0.0f, -0.5f);
    EXPECT_NEAR(_m->getDistance(), 6.0, 1e-6);
    EXPECT_NEAR(_m->getCenter().length(), 0.0, 1e-12);

    // Below the minimum distance the camera goes forward with its centre.
    _m->setMinimumDistance(5.8, false);
    const osg::Vec3d forward = axis(*_m, {0, 0, -1});
    const osg::Vec3d eye = eyeOf(*_m);
    drag(E::RIGHT_MOUSE_BUTTON, 0.0f, 0.0f, 0.0f, -0.1f);
    EXPECT_NEAR(_m->getDistance(), 6.0, 1e-6);
    EXPECT_NEAR((_m->getCenter() - forward * 0.6).length(), 0.0, 1e-6);
    EXPECT_NEAR((eyeOf(*_m) - (eye + forward * 0.6)).length(), 0.0, 1e-6);
}

TEST_F(Manipulator, JumpsStillPointersAndOtherButtonsMoveNothing)
{
    const osg::Matrixd before = _m->getMatrix();
    drag(E::LEFT_MOUSE_BUTTON, -0.3f, 0.0f, 0.3f, 0.0f); // 0.6 apart: a jump
    drag(E::LEFT_MOUSE_BUTTON, 0.2f, 0.2f, 0.2f, 0.2f);  // no movement
    EXPECT_EQ(_m->reports, 0);
    drag(0, 0.0f, 0.0f, 0.1f, 0.0f); // no button
    drag(E::MIDDLE_MOUSE_BUTTON | E::RIGHT_MOUSE_BUTTON, 0.0f, 0.0f, 0.1f, 0.0f);
    EXPECT_EQ(_m->getMatrix(), before);
    EXPECT_FALSE(_m->userMoved());
}

TEST_F(Manipulator, WheelDolliesByATenthAndKeepsTheDistance)
{
    const osg::Vec3d backwards = axis(*_m, {0, 0, 1});
    EXPECT_TRUE(handle(scroll(1.0, E::SCROLL_UP)));
    EXPECT_NEAR(_m->getDistance(), 10.0, 1e-12);
    EXPECT_NEAR((_m->getCenter() - backwards * 1.0).length(), 0.0, 1e-9);
    EXPECT_NEAR((eyeOf(*_m) - osg::Vec3d(0, -11, 0)).length(), 0.0, 1e-9);
    EXPECT_EQ(_m->reports, 1);

    EXPECT_TRUE(handle(scroll(1.1, E::SCROLL_DOWN)));
    EXPECT_TRUE(handle(scroll(1.2, E::SCROLL_DOWN)));
    EXPECT_NEAR((eyeOf(*_m) - osg::Vec3d(0, -9, 0)).length(), 0.0, 1e-9);

    // A sideways scroll changes nothing.
    const osg::Matrixd before = _m->getMatrix();
    EXPECT_TRUE(handle(scroll(1.3, E::SCROLL_LEFT)));
    EXPECT_EQ(_m->getMatrix(), before);
}

TEST_F(Manipulator, AReleaseWhileMovingThrowsTheCamera)
{
    handle(event(E::FRAME, 0.9));
    drag(E::LEFT_MOUSE_BUTTON, 0.0f, 0.0f, 0.1f, 0.0f);
    const osg::Quat oneStep = _m->getRotation();
    // Released 10 ms after the last motion: the step is repeated and the
    // camera keeps turning.
    EXPECT_TRUE(handle(event(E::RELEASE, 1.11, 0.1f, 0.0f, 0)));
    EXPECT_TRUE(_m->thrown());
    EXPECT_TRUE(_actions.continuous);
    const osg::Vec3d afterRelease = eyeOf(*_m);
    const double step = std::acos(
        (osg::Vec3d(0, -10, 0) * (osg::Vec3d(0, 0, 10) * osg::Matrixd::rotate(oneStep))) / 100.0);

    // Frames 50 ms apart turn by half the step of the 100 ms drag.
    handle(event(E::FRAME, 2.0));
    const osg::Vec3d first = eyeOf(*_m);
    handle(event(E::FRAME, 2.05));
    const osg::Vec3d second = eyeOf(*_m);
    EXPECT_NEAR(std::acos((first * second) / 100.0), step / 2, 1e-6);
    EXPECT_GT((first - afterRelease).length(), 0.0);

    // A push stops it.
    handle(event(E::PUSH, 2.1, 0.5f, 0.5f, E::LEFT_MOUSE_BUTTON));
    EXPECT_FALSE(_m->thrown());
    const osg::Matrixd stopped = _m->getMatrix();
    handle(event(E::FRAME, 2.15));
    EXPECT_EQ(_m->getMatrix(), stopped);
}

TEST_F(Manipulator, MarkerFollowsF9ButtonsAndTheWheel)
{
    handle(event(E::FRAME, 1.0));
    ASSERT_TRUE(_m->markerSwitch()) << "made on the first event";
    EXPECT_FALSE(_m->markerShown());

    // F9 is noted but left to other handlers.
    EXPECT_FALSE(handle(key(E::KEYUP, E::KEY_F9)));
    EXPECT_TRUE(_m->markerEnabled());

    drag(E::LEFT_MOUSE_BUTTON, 0.0f, 0.0f, 0.1f, 0.0f);
    EXPECT_TRUE(_m->markerShown()) << "shown while a button is held";
    const double s = view::markerScale(_m->getDistance());
    EXPECT_EQ(_m->markerTransform()->getMatrix(),
              osg::Matrixd::scale(s, s, s) * osg::Matrixd::translate(_m->getCenter()));
    handle(event(E::RELEASE, 1.5, 0.1f, 0.0f, 0));
    EXPECT_FALSE(_m->markerShown());

    // After the wheel: shown for one second of frames.
    handle(event(E::FRAME, 2.0));
    handle(scroll(2.0, E::SCROLL_UP));
    handle(event(E::FRAME, 2.5));
    EXPECT_TRUE(_m->markerShown());
    EXPECT_NEAR(_m->markerTransform()->getMatrix().getTrans().length(), 1.0, 1e-9)
        << "placed at the new centre";
    handle(event(E::FRAME, 3.01));
    EXPECT_FALSE(_m->markerShown());

    // F9 again: off, and the wheel no longer shows it.
    EXPECT_FALSE(handle(key(E::KEYUP, E::KEY_F9)));
    handle(scroll(3.1, E::SCROLL_UP));
    handle(event(E::FRAME, 3.2));
    EXPECT_FALSE(_m->markerShown());
    // The marker counts for no bound: it cannot change what home frames.
    EXPECT_FALSE(_m->markerSwitch()->getBound().valid());
}

TEST_F(Manipulator, SpaceBarOnReleaseGoesHomeAndOtherKeysPassThrough)
{
    _m->setAutoComputeHomePosition(false);
    _m->setHomePosition(osg::Vec3d(0, -20, 5), osg::Vec3d(1, 1, 1), osg::Vec3d(0, 0, 1));
    drag(E::LEFT_MOUSE_BUTTON, 0.0f, 0.0f, 0.1f, 0.1f);

    EXPECT_FALSE(handle(key(E::KEYDOWN, E::KEY_Space))) << "the press does nothing";
    EXPECT_NEAR((_m->getCenter() - osg::Vec3d(0, 0, 0)).length(), 0.0, 1e-9);
    EXPECT_TRUE(handle(key(E::KEYUP, E::KEY_Space)));
    EXPECT_NEAR((eyeOf(*_m) - osg::Vec3d(0, -20, 5)).length(), 0.0, 1e-9);
    EXPECT_NEAR((_m->getCenter() - osg::Vec3d(1, 1, 1)).length(), 0.0, 1e-9);

    const osg::Matrixd home = _m->getMatrix();
    for (const int symbol : {int(E::KEY_F10), int(E::KEY_Page_Up), int(E::KEY_Page_Down), int('s'),
                             int(E::KEY_BackSpace)}) {
        EXPECT_FALSE(handle(key(E::KEYDOWN, symbol))) << symbol;
        EXPECT_FALSE(handle(key(E::KEYUP, symbol))) << symbol;
    }
    EXPECT_EQ(_m->getMatrix(), home);
}

TEST_F(Manipulator, SpaceMouseEventsOutsideTheActiveViewAreConsumedAndIgnored)
{
    osg::ref_ptr<rawDeviceEvent> motion = new rawDeviceEvent;
    motion->type = rawDeviceEvent::MOTION;
    motion->tx = 3000;
    motion->rz = 3000;
    osg::ref_ptr<E> user = event(E::USER, 1.0);
    user->setUserData(motion.get());
    const osg::Matrixd before = _m->getMatrix();
    EXPECT_TRUE(handle(user));
    EXPECT_EQ(_m->getMatrix(), before);

    // A user event of another kind is not ours.
    osg::ref_ptr<E> other = event(E::USER, 1.1);
    EXPECT_FALSE(handle(other));
}

} // namespace
