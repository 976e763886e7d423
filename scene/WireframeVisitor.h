#pragma once
// Switches every geode below a node between wireframe (polygons drawn as
// lines, front and back) and filled polygons, through a polygon-mode
// attribute on the geode's own state set. Geodes without drawables are left
// alone.
//
// Threading: GUI thread only.

#include <osg/NodeVisitor>

class WireframeVisitor : public osg::NodeVisitor
{
public:
    explicit WireframeVisitor(bool wireframe);

    using osg::NodeVisitor::apply;
    void apply(osg::Geode& geode) override;

private:
    bool _wireframe;
};
