#pragma once

#include <osg/Geode>
#include <osg/Geometry>

// A spur gear of outer diameter about 1 and thickness 1, centred at the
// origin with its axis along z.
//
// Each tooth is an 8-point profile walked around the gear. A positive tooth
// count gives an external gear whose ring (the bore) lies inside the teeth; a
// negative count gives an internal gear: teeth pointing inwards and the ring
// outside them. A non-zero angle α tapers the teeth: every radius of the
// bottom face (z = −0.5) exceeds the top face's by d = tan α · b.
//
// Four indexed triangle strips make the gear, in this order: tooth surface,
// ring surface, top face, bottom face.
class Gear : public osg::Geode
{
public:
    enum Surface
    {
        ToothSurface = 0,
        RingSurface = 1,
        TopFace = 2,
        BottomFace = 3
    };

    // n teeth (negative: internal), thickness b, ring parameter k, angle α in degrees.
    Gear(int teeth, float thickness, float ringParameter, float angleDegrees);
    // A gear drawing `other`'s surfaces (shared with a shallow copy) with
    // no state of its own.
    Gear(const Gear& other, const osg::CopyOp& copyop)
        : osg::Geode(other, copyop), _layout(other._layout), _profilePoints(other._profilePoints)
    {
        setStateSet(nullptr);
    }

    // The geometry of one surface; null when the gear could not be built.
    osg::Geometry* surface(Surface which) const;

    // The values of the build: pitch angle p, tooth height h, taper d (signed),
    // mean tooth radius R at the top face and ring radius c.
    struct Layout
    {
        float pitch = 0.f;
        float toothHeight = 0.f;
        float taper = 0.f;
        float meanRadius = 0.f;
        float ringRadius = 0.f;
    };
    const Layout& layout() const { return _layout; }
    // The number of profile points walked (each gives one vertex pair).
    int profilePoints() const { return _profilePoints; }

private:
    void build(int teeth, float thickness, float ringParameter, float angleDegrees);

    Layout _layout;
    int _profilePoints = 0;
};
