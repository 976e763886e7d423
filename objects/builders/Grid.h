#pragma once

#include <osg/Geode>
#include <osg/Geometry>

// A flat grid of lines in the unit square of the xy plane, centred on the
// origin, meant to be scaled by (X, Y) by its owner. Lines lie s apart once
// scaled; they are centred on the middle, so the outermost lines lie inside
// the edge when an extent is not a multiple of s. The spacing is rounded to
// two decimals first. Drawn as one indexed line list without lighting.
class Grid : public osg::Geode
{
public:
    Grid(float extentX, float extentY, float spacing);

    // The spacing after rounding to two decimals (halves round up).
    float spacing() const { return _spacing; }
    osg::Geometry* geometry() const { return _geometry.get(); }

    static float roundSpacing(float spacing);

private:
    osg::ref_ptr<osg::Geometry> _geometry;
    float _spacing = 0.f;
};
