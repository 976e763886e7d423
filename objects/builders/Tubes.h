#pragma once

#include "objects/builders/Bezier.h"

#include <osg/Array>
#include <osg/Geode>
#include <osg/Geometry>
#include <osg/PrimitiveSet>
#include <osg/Quat>

#include <vector>

// Tubes around a centre line that starts at the origin heading along +x, with
// a radius that varies linearly from the inlet radius to the outlet radius.
//
// Each tube is one geometry: positions and per-vertex normals (facing out of
// the tube), one colour for the whole tube, and one quad strip over all
// vertices. Rings around the centre line have 41 positions 2π/40 apart, the
// last one closing the ring. Curved and Bézier tubes are a sequence of strips
// between neighbouring rings inside that one quad strip; the step from one
// strip to the next is a zero-area quad along the seam.
class Tube : public osg::Geode
{
public:
    static constexpr int kRingSegments = 40;

    osg::Geometry* geometry() const { return _geometry.get(); }
    const osg::Vec3Array& vertices() const { return *_vertices; }
    const osg::Vec3Array& normals() const { return *_normals; }
    osg::Vec4 color() const { return (*_colors)[0]; }
    float inletRadius() const { return _inletRadius; }
    float outletRadius() const { return _outletRadius; }

protected:
    Tube(float inletRadius, float outletRadius, const osg::Vec4& color);

    void clearVertices();
    void append(const osg::Vec3& position, const osg::Vec3& normal);
    // Closes the edit: sizes the strip and marks the arrays dirty. A tube with
    // a non-finite vertex is emptied and reported under `name`.
    void finish(const char* name);

    float _inletRadius;
    float _outletRadius;

private:
    osg::ref_ptr<osg::Geometry> _geometry;
    osg::ref_ptr<osg::Vec3Array> _vertices;
    osg::ref_ptr<osg::Vec3Array> _normals;
    osg::ref_ptr<osg::Vec4Array> _colors;
    osg::ref_ptr<osg::DrawArrays> _strip;
};

// A straight, possibly conical tube from x = 0 to x = L.
class StraightTube : public Tube
{
public:
    StraightTube(float length, float inletRadius, float outletRadius, const osg::Vec4& color);

    float length() const { return _length; }

private:
    float _length;
};

// A tube bent around the z axis: its centre line is the arc of radius R that
// starts at the origin heading along +x and turns towards +y by the bend
// angle (radians).
class CurvedTube : public Tube
{
public:
    CurvedTube(float bendRadius, float bendAngle, float inletRadius, float outletRadius,
               const osg::Vec4& color);

    float bendRadius() const { return _bendRadius; }
    float bendAngle() const { return _bendAngle; }
    // Number of strips between neighbouring rings along the arc.
    int strips() const { return _strips; }

private:
    float _bendRadius;
    float _bendAngle;
    int _strips = 0;
};

// A tube swept along a Bézier curve. Its rings stay perpendicular to the
// curve and are carried along it without twisting: each step turns the ring
// by the smallest rotation that takes the previous tangent to the next one.
class BezierTube : public Tube
{
public:
    BezierTube(const Bezier& curve, float inletRadius, float outletRadius, const osg::Vec4& color);
    // The flow pipe's curve (Bezier::fromEnds) to the end point `end`,
    // arriving along `endDirection`.
    BezierTube(const osg::Vec3& end, const osg::Vec3& endDirection, float inletRadius,
               float outletRadius, const osg::Vec4& color);

    // Replaces the curve and rebuilds the geometry.
    void setCurve(const Bezier& curve);
    // Rebuilds along the flow pipe's curve to a new end point and direction.
    void rebuild(const osg::Vec3& end, const osg::Vec3& endDirection);
    // Freezes the curve into its table of samples; the geometry stays.
    void sampleCurve(int count = 1000) { _curve.sample(count); }

    const Bezier& curve() const { return _curve; }
    // Length of the centre line: 20 chords.
    float length() const { return _curve.chordLength(20); }
    // Parameters of the rings along the curve, in order.
    const std::vector<float>& ringParameters() const { return _ringParameters; }

    // The rotation that takes +x to the tangent at t = 0 and then follows the
    // tangent along the given parameters; one entry per parameter.
    static std::vector<osg::Quat> carriedFrames(const Bezier& curve,
                                                const std::vector<float>& parameters);

private:
    void build();

    Bezier _curve;
    std::vector<float> _ringParameters;
};
