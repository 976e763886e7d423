#pragma once
// Line geometry: a geode holding one geometry drawn as an indexed line strip,
// with a colour per point. The line objects, the head-up display (lines,
// graphs) and the intersector build their lines from this small family:
//
//  - BasicLine: add a point at the end or at the front, remove points from
//    the front, set the width, clear.
//  - SimpleLine: a line that starts with one point.
//  - DynamicLine: a line whose points can be moved in place.
//  - BezierLine: a line of 31 points evaluated on a Bézier curve through its
//    control points (objects/builders/Bezier.h), all in one colour.
//
// Lines are unlit; the geometry's state set holds a line-width attribute
// (width 1 until set). The index list is always 0 ... n−1, so the strip runs
// through the points in order.
//
// Threading: changed only on the thread that applies packets; the geometry
// is DYNAMIC so that a threaded viewer finishes drawing it before it changes.

#include <cstddef>

#include <osg/Array>
#include <osg/Geode>
#include <osg/Geometry>
#include <osg/PrimitiveSet>
#include <osg/Vec3>
#include <osg/Vec4>
#include <osg/ref_ptr>

#include "objects/builders/Bezier.h"

namespace osgLine {

class BasicLine : public osg::Geode
{
public:
    BasicLine();

    // Appends a point with its colour.
    void addPoint(const osg::Vec3& position, const osg::Vec4& colour);
    // Puts a point before the first one.
    void insertPointAtFront(const osg::Vec3& position, const osg::Vec4& colour);
    // Removes the first `count` points (all of them when there are fewer).
    void removeFirstPoints(std::size_t count);
    void removeFirstPoint() { removeFirstPoints(1); }
    // Gives every point the same colour.
    void setColor(const osg::Vec4& colour);
    // The width of the line in pixels.
    void setLineWidth(float width);
    float lineWidth() const;
    // Removes every point.
    void clear();

    std::size_t pointCount() const { return _vertices->size(); }
    const osg::Vec3Array& vertices() const { return *_vertices; }
    const osg::Vec4Array& colors() const { return *_colors; }
    const osg::DrawElementsUInt& indices() const { return *_indices; }
    osg::Geometry* geometry() const { return _geometry.get(); }

protected:
    ~BasicLine() override;

    osg::Vec3Array& editVertices() { return *_vertices; }
    // After the vertices were changed in place: they are uploaded again and
    // the bound is recomputed.
    void verticesChanged();

private:
    // Indices 0 ... n−1 for the n points, after points were inserted or removed.
    void renumber();
    void allChanged();

    osg::ref_ptr<osg::Geometry> _geometry;
    osg::ref_ptr<osg::Vec3Array> _vertices;
    osg::ref_ptr<osg::Vec4Array> _colors;
    osg::ref_ptr<osg::DrawElementsUInt> _indices;
};

class SimpleLine : public BasicLine
{
public:
    SimpleLine() = default;
    SimpleLine(const osg::Vec3& firstPoint, const osg::Vec4& colour);

protected:
    ~SimpleLine() override;
};

class DynamicLine : public BasicLine
{
public:
    DynamicLine() = default;
    DynamicLine(const osg::Vec3& firstPoint, const osg::Vec4& colour);

    // Moves point `index` to `position`; an index past the last point is ignored.
    void setPoint(std::size_t index, const osg::Vec3& position);
    // Moves every point by `offset`.
    void movePoints(const osg::Vec3& offset);

protected:
    ~DynamicLine() override;
};

class BezierLine : public BasicLine
{
public:
    // The number of points a rebuilt curve has.
    static constexpr int CURVE_POINTS = 31;
    // The parameter step between them: 1/30 as a float.
    static constexpr float PARAMETER_STEP = 0.033333335f;

    explicit BezierLine(const osg::Vec4& colour);

    void clearControlPoints() { _curve.clearControlPoints(); }
    void addControlPoint(const osg::Vec3& point) { _curve.addControlPoint(point); }
    const Bezier& curve() const { return _curve; }
    const osg::Vec4& colour() const { return _colour; }

    // Replaces the line by the curve's points at t = i × PARAMETER_STEP,
    // i = 0 ... 30, each in the line's colour; without control points the
    // line is empty.
    void rebuild();

protected:
    ~BezierLine() override;

private:
    Bezier _curve;
    osg::Vec4 _colour;
};

} // namespace osgLine
