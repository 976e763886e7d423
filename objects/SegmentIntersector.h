#pragma once
// The segment intersector of the intersector objects: the scene library's
// line segment intersector, run by its intersection visitor, with two things
// added that make a test over a large scene fast without changing its answer.
//
//  - Nearest accepted hit. The caller says which hits count (a node path
//    test: the intersector object accepts hits below an intersectable 3D
//    object). Once a hit that counts is recorded at ratio r, everything
//    beyond r can no longer be the answer, so the segment is cut there:
//    subgraphs whose bound lies beyond it are not entered and drawables are
//    tested only up to it. Every hit at or before r is still recorded, so the
//    hits in order, nearest first, begin exactly as an exhaustive test's do.
//  - Kd-trees. A drawable that the SpatialIndex holds a current tree for is
//    tested through the tree (only the triangles in the tree's cells along
//    the segment); any other drawable triangle by triangle, as the library
//    does. Both record the same hits: ratio, node path, matrix, local point
//    and normal (the face normal, (v1 - v0) x (v2 - v0)), the vertex indices
//    and barycentric weights, the primitive index.
//
// Drawables that draw nothing on purpose are never hit: the hidden source of
// a flexible body (its deformed copy is what is seen) and the front copies
// that transparency adds (they share the vertices of the drawable they copy).
//
// Threading: whichever thread runs the test; one test at a time.

#include <functional>

#include <osg/Node>
#include <osgUtil/LineSegmentIntersector>

class SpatialIndex;
namespace osg {
class KdTree;
}

class SegmentIntersector : public osgUtil::LineSegmentIntersector
{
public:
    // Whether a hit with this node path counts (ends the search beyond it).
    using Accepts = std::function<bool(const osg::NodePath&)>;

    // `index` may be null (no trees); `accepts` may be empty (every hit counts).
    SegmentIntersector(const osg::Vec3d& start, const osg::Vec3d& end, SpatialIndex* index,
                       Accepts accepts);

    // The trees to use from the next test on (null: none).
    void setIndex(SpatialIndex* index) { _index = index; }

    // Clears the hits and the cut, for a new test.
    void reset() override;

    Intersector* clone(osgUtil::IntersectionVisitor& iv) override;
    bool enter(const osg::Node& node) override;
    using LineSegmentIntersector::intersect;
    void intersect(osgUtil::IntersectionVisitor& iv, osg::Drawable* drawable) override;

    // The ratio where the segment is cut now: that of the nearest accepted
    // hit, 1 without one.
    double cut() const { return _root->_cut; }

protected:
    ~SegmentIntersector() override;

private:
    SegmentIntersector(const osg::Vec3d& start, const osg::Vec3d& end, SegmentIntersector* root);

    // The end of this (possibly transformed) segment at the cut.
    osg::Vec3d cutEnd() const { return _start + (_end - _start) * _root->_cut; }
    // Tests the drawable's tree between the ratios 0 and the cut.
    void intersectTree(osgUtil::IntersectionVisitor& iv, osg::Drawable* drawable,
                       const osg::KdTree& tree, bool accepted);

    SegmentIntersector* _root;
    SpatialIndex* _index = nullptr;
    Accepts _accepts;
    double _cut = 1.0; // the root's: ratio of the nearest accepted hit
};
