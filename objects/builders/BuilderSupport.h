#pragma once

#include <osg/Array>
#include <osg/Geometry>
#include <osg/PrimitiveSet>
#include <osg/Vec3>

#include <cstddef>
#include <numbers>
#include <string>

// Small helpers shared by the geometry builders. The builders take numbers
// straight from the network, so a zero count, a huge count or a NaN must give
// an empty shape with a line on standard output, never a hang, a crash or a
// vertex that poisons the bounding sphere.
namespace builder {

constexpr double kPi = std::numbers::pi;
constexpr double kTwoPi = 2.0 * std::numbers::pi;

// No builder makes more vertices than this (about 50 MB of vertex data); a
// request beyond it is refused as a whole.
constexpr std::size_t kMaxVertices = std::size_t(1) << 22;

// Writes "<shape>: <what>" on standard output, where scene objects report.
void reportRejected(const char* shape, const std::string& what);

bool allFinite(const osg::Vec3Array& vertices);

// The normalised vector, or the normalised fallback where the vector has no
// usable length (a degenerate triangle of a zero-radius or zero-length shape).
osg::Vec3 safeNormal(const osg::Vec3& v, const osg::Vec3& fallback);

// An indexed triangle strip with per-vertex normals, filled one vertex pair at
// a time and closed by repeating its first pair.
class IndexedStrip
{
public:
    void add(const osg::Vec3& a, const osg::Vec3& normalA, const osg::Vec3& b,
             const osg::Vec3& normalB);
    const osg::Vec3Array& vertices() const { return *_vertices; }
    // Closes the strip and hands out its geometry.
    osg::ref_ptr<osg::Geometry> close();

private:
    osg::ref_ptr<osg::Vec3Array> _vertices = new osg::Vec3Array;
    osg::ref_ptr<osg::Vec3Array> _normals = new osg::Vec3Array;
    osg::ref_ptr<osg::DrawElementsUInt> _indices =
        new osg::DrawElementsUInt(osg::PrimitiveSet::TRIANGLE_STRIP);
};

} // namespace builder
