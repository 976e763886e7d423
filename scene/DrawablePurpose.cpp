#include "scene/DrawablePurpose.h"

#include <osg/Drawable>

DrawablePurpose* DrawablePurpose::of(const osg::Drawable& drawable)
{
    // The tag is shared, not owned by the const drawable, so handing out a
    // mutable pointer does not change the drawable itself.
    return const_cast<DrawablePurpose*>(
        dynamic_cast<const DrawablePurpose*>(drawable.getUserData()));
}

bool DrawablePurpose::has(const osg::Drawable& drawable, std::uint32_t bit)
{
    const DrawablePurpose* tag = of(drawable);
    return tag && (tag->_flags & bit) != 0;
}

void DrawablePurpose::mark(osg::Drawable& drawable, std::uint32_t bit)
{
    if (DrawablePurpose* tag = of(drawable))
        tag->_flags |= bit;
    else
        drawable.setUserData(new DrawablePurpose(bit));
}

void DrawablePurpose::unmark(osg::Drawable& drawable, std::uint32_t bit)
{
    if (DrawablePurpose* tag = of(drawable))
        tag->_flags &= ~bit;
}
