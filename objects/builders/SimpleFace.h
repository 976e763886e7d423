#pragma once

#include <osg/Array>
#include <osg/Geode>
#include <osg/Geometry>
#include <osg/PrimitiveSet>

// A face built vertex by vertex: one geometry with a position, a normal and
// a colour per vertex and one index list drawn in the given primitive mode
// (a polygon, a quad strip, ...). The normal binding is chosen at
// construction: per vertex for shaded solids, overall for flat faces.
// Both sides are lit. The vertices go through a vertex buffer object, so a
// face that is cleared and refilled every frame costs one upload.
//
// Changed only on the thread that applies packets; the geometry is DYNAMIC so
// that a threaded viewer finishes drawing it before it changes.
class SimpleFace : public osg::Geode
{
public:
    SimpleFace(GLenum mode, osg::Array::Binding normalBinding);

    void addVertex(const osg::Vec3& position, const osg::Vec3& normal, const osg::Vec4& color);
    // Gives every vertex the same colour.
    void setColor(const osg::Vec4& color);
    // Removes every vertex.
    void clear();

    osg::Geometry* geometry() const { return _geometry.get(); }
    const osg::Vec3Array& vertices() const { return *_vertices; }
    const osg::Vec3Array& normals() const { return *_normals; }
    const osg::Vec4Array& colors() const { return *_colors; }
    const osg::DrawElementsUInt& indices() const { return *_indices; }

private:
    osg::ref_ptr<osg::Geometry> _geometry;
    osg::ref_ptr<osg::Vec3Array> _vertices;
    osg::ref_ptr<osg::Vec3Array> _normals;
    osg::ref_ptr<osg::Vec4Array> _colors;
    osg::ref_ptr<osg::DrawElementsUInt> _indices;
};
