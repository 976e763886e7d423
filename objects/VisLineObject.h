#pragma once
// A coloured line through points the simulation sends (type code 12): a
// polyline through the points (kind 1) or a Bézier curve of 31 points that
// uses them as control points (kind 2).
//
// Items read once, when the object is built: 44 colour and 10 alpha, 88 the
// kind, 87 the width in pixels, 86 the point count N. Every later packet that
// carries item 1 (x, y, z of each point, 3N floats) replaces the points;
// other items change nothing, the colour included. Item 1 holds points here,
// not a position: the object is never moved, turned or scaled, and its line
// hangs on the object itself, beside the (unused) transform, so the points
// are drawn where they are.
//
// An item 1 shorter than 3N values gives only the complete points it holds;
// the shortfall is reported once per object. Points with a coordinate that
// is not a finite number are left out (reported once too), so that the line's
// bound stays usable.
//
// Threading: GUI thread only (the scene update traversal, under the object
// manager's lock).

#include <span>
#include <vector>

#include <osg/Vec3>
#include <osg/Vec4>
#include <osg/ref_ptr>

#include "objects/builders/Lines.h"
#include "scene/Vis3DObject.h"
#include "protocol/Items.h"

class VisLineObject : public Vis3DObject
{
public:
    // Item 88[0]: KIND_POLYLINE, KIND_BEZIER.
    using enum item::line::LineKindValue;

    explicit VisLineObject(const ObjectContext& context);

    const char* className() const override { return "VisLineObject"; }

    int kind() const { return _kind; }
    int pointCount() const { return _pointCount; }
    const osg::Vec4& colour() const { return _colour; }
    // The line node, or null (not built, or a kind that draws nothing).
    osgLine::BasicLine* line() const { return _line.get(); }

protected:
    ~VisLineObject() override;

    bool build(const GNP2::Packet& packet) override;
    void apply(const GNP2::Packet& arrived) override;

private:
    // The usable points of item 1: at most N, complete and finite.
    std::vector<osg::Vec3> takePoints(std::span<const float> values);

    osg::Vec4 _colour;
    int _kind = 0;
    int _pointCount = 0;
    osg::ref_ptr<osgLine::BasicLine> _line;
    bool _shortfallReported = false;
    bool _nonFiniteReported = false;
};
