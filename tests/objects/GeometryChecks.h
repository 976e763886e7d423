#pragma once

#include <osg/Geometry>
#include <osg/NodeVisitor>

#include <cmath>
#include <vector>

namespace geometry_checks {

// Every geometry below a node, in traversal order.
inline std::vector<osg::Geometry*> geometriesOf(osg::Node& node)
{
    struct Collector : osg::NodeVisitor
    {
        Collector() : osg::NodeVisitor(TRAVERSE_ALL_CHILDREN) {}
        void apply(osg::Drawable& drawable) override
        {
            if (osg::Geometry* g = drawable.asGeometry())
                found.push_back(g);
        }
        std::vector<osg::Geometry*> found;
    } collector;
    node.accept(collector);
    return collector.found;
}

inline const osg::Vec3Array& verticesOf(const osg::Geometry* g)
{
    return *static_cast<const osg::Vec3Array*>(g->getVertexArray());
}

inline const osg::Vec3Array& normalsOf(const osg::Geometry* g)
{
    return *static_cast<const osg::Vec3Array*>(g->getNormalArray());
}

inline bool finite(const osg::Vec3& v)
{
    return std::isfinite(v.x()) && std::isfinite(v.y()) && std::isfinite(v.z());
}

inline float radiusXY(const osg::Vec3& v)
{
    return std::hypot(v.x(), v.y());
}

} // namespace geometry_checks
