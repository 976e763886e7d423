#pragma once
// Gives every drawable below a node an ambient colour equal to its diffuse
// colour (front and back). Model files often carry a dark ambient colour;
// after this pass they look like their diffuse colour under any light.
//
// Threading: GUI thread only, or on a node not yet in the scene.

#include <osg/NodeVisitor>

class ColorCorrectionVisitor : public osg::NodeVisitor
{
public:
    ColorCorrectionVisitor();

    using osg::NodeVisitor::apply;
    void apply(osg::Geode& geode) override;
};
