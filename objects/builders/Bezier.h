#pragma once

#include <osg/Vec3>

#include <vector>

// A Bézier curve over a list of control points, evaluated for t in [0, 1].
//
// Four control points use the cubic polynomial form; any other count uses the
// Bernstein sum of its own degree. The curve is shared by the line objects
// (which rebuild a polyline from it) and by the Bézier tube of the flow pipe.
// The flow pipe may freeze a curve into a table of samples: from then on
// point() and tangent() answer from the table (sample ⌊t·(count−1)⌋) until
// the control points change.
//
// Degenerate curves are well defined: no control point gives the origin, one
// gives that point, and tangents are zero where the curve does not move.
class Bezier
{
public:
    Bezier() = default;
    explicit Bezier(std::vector<osg::Vec3> controlPoints);

    // The curve of a flow pipe from the origin, heading along +x, to the end
    // point `end`, arriving along `endDirection`: control points 0,
    // (|E|/2, 0, 0), E − T·|E|/2 and E.
    static Bezier fromEnds(const osg::Vec3& end, const osg::Vec3& endDirection);

    void clearControlPoints();
    void addControlPoint(const osg::Vec3& point);
    const std::vector<osg::Vec3>& controlPoints() const { return _points; }

    osg::Vec3 point(float t) const;
    // The derivative of point() with respect to t (not normalised).
    osg::Vec3 tangent(float t) const;

    // Evaluates the curve once at `count` parameters i / (count − 1) and answers
    // point() and tangent() from that table from now on. A count below 2 leaves
    // the curve exact.
    void sample(int count = 1000);
    bool isSampled() const { return !_sampledPoints.empty(); }

    // The length of the polyline through the points at t = i / chords.
    float chordLength(int chords = 20) const;

    // Exact evaluation, independent of any sampling.
    static osg::Vec3 evaluate(const std::vector<osg::Vec3>& points, float t);
    static osg::Vec3 derivative(const std::vector<osg::Vec3>& points, float t);

private:
    int sampleIndex(float t) const;

    std::vector<osg::Vec3> _points;
    std::vector<osg::Vec3> _sampledPoints;
    std::vector<osg::Vec3> _sampledTangents;
};
