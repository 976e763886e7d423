#pragma once

#include <osg/Array>
#include <osg/Geode>
#include <osg/Geometry>
#include <osg/PrimitiveSet>
#include <osg/ref_ptr>

// A helical coil spring of round wire along +z, from z = 0 to its length.
//
// The spring is one quad strip that walks up the axis in steps of one
// segment; each step holds a ring of C + 1 vertex pairs (upper, lower) around
// the wire. It keeps a copy of the vertices as built, so that it can be
// stretched to any length afterwards without rebuilding: every stretch is
// measured from the spring as built, and stretching back to the built length
// restores the built vertices exactly.
//
// Stretched only on the thread that applies packets, during the update
// traversal; the geometry is DYNAMIC so that a threaded viewer finishes
// drawing it before the next frame changes it.
class Spring : public osg::Geode
{
public:
    struct Parameters
    {
        float length = 1.f;       // L, along +z
        float coilRadius = 0.5f;  // R, axis to wire centre
        int windings = 1;         // W
        float wireRadius = 0.05f; // r
        int segmentsPerWinding = 25;
        int segmentsAroundWire = 10;

        bool operator==(const Parameters&) const = default;
    };

    explicit Spring(const Parameters& parameters);
    // A spring with `other`'s parameters that keeps vertices of its own (it
    // stretches them) and shares the built vertices, normals and strip, which
    // nothing changes after the build.
    Spring(const Spring& other, const osg::CopyOp& copyop);

    // Moves the vertices along the axis so that the spring spans newLength;
    // the built length stays the reference.
    void stretch(float newLength);

    const Parameters& parameters() const { return _parameters; }
    // The number of segments along the axis (0 for an empty spring).
    int steps() const;

    osg::Geometry* geometry() { return _geometry.get(); }
    const osg::Vec3Array& vertices() const { return *_vertices; }
    const osg::Vec3Array& builtVertices() const { return *_builtVertices; }
    const osg::Vec3Array& normals() const { return *_normals; }

private:
    void build();

    Parameters _parameters;
    osg::ref_ptr<osg::Geometry> _geometry;
    osg::ref_ptr<osg::Vec3Array> _vertices;
    osg::ref_ptr<osg::Vec3Array> _builtVertices;
    osg::ref_ptr<osg::Vec3Array> _normals;
    osg::ref_ptr<osg::DrawArrays> _strip;
};
