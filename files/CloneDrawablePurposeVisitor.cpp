#include "files/CloneDrawablePurposeVisitor.h"

#include <osg/Drawable>

#include "scene/DrawablePurpose.h"

CloneDrawablePurposeVisitor::CloneDrawablePurposeVisitor()
    : osg::NodeVisitor(osg::NodeVisitor::TRAVERSE_ALL_CHILDREN)
{
}

void CloneDrawablePurposeVisitor::apply(osg::Drawable& drawable)
{
    if (const DrawablePurpose* tag = DrawablePurpose::of(drawable))
        drawable.setUserData(new DrawablePurpose(tag->flags()));
}
