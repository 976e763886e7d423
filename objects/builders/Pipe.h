#pragma once

#include <osg/Geode>
#include <osg/Geometry>

// A tapered pipe of outer diameter 1 at z = −0.5 and e at z = 0.5, with a bore
// that keeps the wall thickness constant along the pipe. d is the bore's
// diameter at the wide end, as a fraction of the outer diameter; d = 0 gives
// a solid frustum. Four indexed triangle strips, in this order: outer surface,
// inner surface, bottom ring, top ring.
class Pipe : public osg::Geode
{
public:
    enum Surface
    {
        OuterSurface = 0,
        InnerSurface = 1,
        BottomRing = 2,
        TopRing = 3
    };

    Pipe(float innerDiameter, float endRatio);
    // A pipe drawing `other`'s surfaces (shared with a shallow copy) with
    // no state of its own.
    Pipe(const Pipe& other, const osg::CopyOp& copyop)
        : osg::Geode(other, copyop), _outerTop(other._outerTop), _innerBottom(other._innerBottom),
          _innerTop(other._innerTop)
    {
        setStateSet(nullptr);
    }

    osg::Geometry* surface(Surface which) const;

    // Radii of the build: outer and inner at z = −0.5 and z = 0.5.
    float outerBottomRadius() const { return 0.5f; }
    float outerTopRadius() const { return _outerTop; }
    float innerBottomRadius() const { return _innerBottom; }
    float innerTopRadius() const { return _innerTop; }

private:
    float _outerTop = 0.f;
    float _innerBottom = 0.f;
    float _innerTop = 0.f;
};
