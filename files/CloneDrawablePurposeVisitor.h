#pragma once
// Gives every drawable below a node a purpose tag of its own. A deep copy of
// a model shares the drawables' user data with the original, so a purpose
// bit set on one copy (transparency, deformation) would show on the cached
// model and on every other copy. After this pass each tagged drawable holds
// a new tag with the same flags; untagged drawables stay untagged.
//
// Threading: run on a node that no other thread touches (the file manager
// runs it on a fresh copy, before handing it out).

#include <osg/NodeVisitor>

class CloneDrawablePurposeVisitor : public osg::NodeVisitor
{
public:
    CloneDrawablePurposeVisitor();

    using osg::NodeVisitor::apply;
    // Drawables are reached below geodes and, as the scene graph allows,
    // directly below groups.
    void apply(osg::Drawable& drawable) override;
};
