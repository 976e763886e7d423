#include "objects/SegmentIntersector.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include <osg/KdTree>
#include <osgUtil/IntersectionVisitor>

#include "objects/SpatialIndex.h"
#include "scene/DrawablePurpose.h"

namespace {

// Drawables that are in the graph but draw nothing of their own.
constexpr std::uint32_t NEVER_HIT =
    DrawablePurpose::DEFORM_SOURCE | DrawablePurpose::TRANSPARENCY_COPY;

// The parameter range [t0, t1] of the points start + t·direction inside the
// box, narrowed from [t0, t1]; false when it is empty. The box is widened by
// a hair so that faces lying in its planes are not lost to rounding.
bool clipToBox(const osg::Vec3d& start, const osg::Vec3d& direction, const osg::BoundingBox& box,
               double& t0, double& t1)
{
    if (!box.valid())
        return false;
    const double margin = 1e-6 * std::max(1.0, double(box.radius()));
    for (int axis = 0; axis < 3; ++axis) {
        const double low = double(box._min[axis]) - margin;
        const double high = double(box._max[axis]) + margin;
        const double s = start[axis], d = direction[axis];
        if (d == 0.0) {
            if (s < low || s > high)
                return false;
            continue;
        }
        double near = (low - s) / d, far = (high - s) / d;
        if (near > far)
            std::swap(near, far);
        t0 = std::max(t0, near);
        t1 = std::min(t1, far);
        if (t0 > t1)
            return false;
    }
    return true;
}

// Walks a kd-tree (osg::KdTree::intersect calls enter/leave for its inner
// cells and intersect for each primitive of a leaf) and records the triangle
// hits of the segment start + t·direction, 0 <= t <= limit.
struct TreeWalk
{
    osgUtil::LineSegmentIntersector& owner;
    osgUtil::IntersectionVisitor& iv;
    osg::Drawable* drawable;
    osg::Vec3d start;
    osg::Vec3d direction;
    double limit;
    // An accepted drawable needs nothing beyond its nearest hit.
    bool shrinkToHits;
    double nearest = 2.0;

    bool enter(const osg::BoundingBox& box)
    {
        double t0 = 0.0, t1 = limit;
        return clipToBox(start, direction, box, t0, t1);
    }
    void leave() {}

    // Points and lines are never hit by a segment.
    void intersect(const osg::Vec3Array*, int, unsigned) {}
    void intersect(const osg::Vec3Array*, int, unsigned, unsigned) {}

    void intersect(const osg::Vec3Array* vertices, int primitive, unsigned p0, unsigned p1,
                   unsigned p2)
    {
        const osg::Vec3d v0((*vertices)[p0]), v1((*vertices)[p1]), v2((*vertices)[p2]);
        const osg::Vec3d e1 = v1 - v0, e2 = v2 - v0;
        const osg::Vec3d p = direction ^ e2;
        const double det = e1 * p;
        if (det == 0.0)
            return; // the segment runs in the triangle's plane
        const double inverse = 1.0 / det;
        const osg::Vec3d fromV0 = start - v0;
        const double u = (fromV0 * p) * inverse;
        if (u < 0.0 || u > 1.0)
            return;
        const osg::Vec3d q = fromV0 ^ e1;
        const double v = (direction * q) * inverse;
        if (v < 0.0 || u + v > 1.0)
            return;
        const double t = (e2 * q) * inverse;
        if (t < 0.0 || t > limit)
            return;

        osgUtil::LineSegmentIntersector::Intersection hit;
        hit.ratio = t;
        hit.nodePath = iv.getNodePath();
        hit.drawable = drawable;
        hit.matrix = iv.getModelMatrix();
        hit.localIntersectionPoint = start + direction * t;
        osg::Vec3 normal(e1 ^ e2);
        normal.normalize();
        hit.localIntersectionNormal = normal;
        hit.indexList = {p0, p1, p2};
        hit.ratioList = {1.0 - u - v, u, v};
        hit.primitiveIndex = unsigned(primitive);
        owner.insertIntersection(hit);
        nearest = std::min(nearest, t);
        if (shrinkToHits)
            limit = t;
    }

    // A quad as the two triangles (p0, p1, p3) and (p1, p2, p3).
    void intersect(const osg::Vec3Array* vertices, int primitive, unsigned p0, unsigned p1,
                   unsigned p2, unsigned p3)
    {
        intersect(vertices, primitive, p0, p1, p3);
        intersect(vertices, primitive, p1, p2, p3);
    }
};

} // namespace

SegmentIntersector::SegmentIntersector(const osg::Vec3d& start, const osg::Vec3d& end,
                                       SpatialIndex* index, Accepts accepts)
    : LineSegmentIntersector(start, end), _root(this), _index(index), _accepts(std::move(accepts))
{
}

SegmentIntersector::SegmentIntersector(const osg::Vec3d& start, const osg::Vec3d& end,
                                       SegmentIntersector* root)
    : LineSegmentIntersector(MODEL, start, end, root), _root(root), _index(root->_index)
{
    setPrecisionHint(root->getPrecisionHint());
}

SegmentIntersector::~SegmentIntersector() = default;

void SegmentIntersector::reset()
{
    LineSegmentIntersector::reset();
    _root->_cut = 1.0;
}

osgUtil::Intersector* SegmentIntersector::clone(osgUtil::IntersectionVisitor& iv)
{
    const osg::RefMatrix* model = iv.getModelMatrix();
    if (!model)
        return new SegmentIntersector(_start, _end, _root);
    // The segment in the coordinates below the transform, so that the local
    // geometry is tested as it is; ratios along it are the same as along the
    // root's segment.
    osg::Matrixd inverse;
    inverse.invert(*model);
    return new SegmentIntersector(_root->_start * inverse, _root->_end * inverse, _root);
}

bool SegmentIntersector::enter(const osg::Node& node)
{
    if (!node.isCullingActive())
        return true;
    const osg::BoundingSphere& sphere = node.getBound();
    if (!sphere.valid())
        return true; // not yet known: look inside
    // Where the line start + t·(end − start) meets the sphere.
    const osg::Vec3d fromCentre = _start - osg::Vec3d(sphere.center());
    const double radius = sphere.radius();
    const double c = fromCentre.length2() - radius * radius;
    if (c < 0.0)
        return true; // the start is inside
    const osg::Vec3d direction = _end - _start;
    const double a = direction.length2();
    if (a == 0.0)
        return false;
    const double b = 2.0 * (fromCentre * direction);
    const double discriminant = b * b - 4.0 * a * c;
    if (discriminant < 0.0)
        return false;
    const double root = std::sqrt(discriminant);
    const double t1 = (-b - root) / (2.0 * a), t2 = (-b + root) / (2.0 * a);
    const double cut = _root->_cut;
    return !((t1 <= 0.0 && t2 <= 0.0) || (t1 >= cut && t2 >= cut));
}

void SegmentIntersector::intersect(osgUtil::IntersectionVisitor& iv, osg::Drawable* drawable)
{
    if (DrawablePurpose::has(*drawable, NEVER_HIT))
        return;
    osg::Vec3d s(_start), e(cutEnd());
    if (!intersectAndClip(s, e, drawable->getBoundingBox()) || iv.getDoDummyTraversal())
        return;
    const bool accepted = !_root->_accepts || _root->_accepts(iv.getNodePath());
    if (const osg::KdTree* tree = _index ? _index->treeFor(*drawable) : nullptr) {
        intersectTree(iv, drawable, *tree, accepted);
        return;
    }
    LineSegmentIntersector::intersect(iv, drawable, s, e);
    if (!accepted)
        return;
    // The nearest hit this drawable just gave at this place in the graph.
    const osg::NodePath& path = iv.getNodePath();
    for (const Intersection& hit : getIntersections()) {
        if (hit.ratio > _root->_cut)
            break;
        if (hit.drawable == drawable && hit.nodePath == path) {
            _root->_cut = hit.ratio;
            break;
        }
    }
}

void SegmentIntersector::intersectTree(osgUtil::IntersectionVisitor& iv, osg::Drawable* drawable,
                                       const osg::KdTree& tree, bool accepted)
{
    TreeWalk walk{*this, iv, drawable, _start, _end - _start, _root->_cut, accepted};
    tree.intersect(walk, tree.getNode(0));
    if (accepted && walk.nearest < _root->_cut)
        _root->_cut = walk.nearest;
}
