#include "scene/WireframeVisitor.h"

#include <osg/Geode>
#include <osg/PolygonMode>

#include "scene/SharedState.h"

WireframeVisitor::WireframeVisitor(bool wireframe)
    : osg::NodeVisitor(TRAVERSE_ALL_CHILDREN), _wireframe(wireframe)
{
}

void WireframeVisitor::apply(osg::Geode& geode)
{
    if (geode.getNumDrawables() == 0)
        return;
    osg::StateSet* stateSet = &sharedstate::ownStateSet(geode);
    osg::ref_ptr<osg::PolygonMode> mode =
        dynamic_cast<osg::PolygonMode*>(stateSet->getAttribute(osg::StateAttribute::POLYGONMODE));
    if (!mode)
        mode = new osg::PolygonMode;
    mode->setMode(osg::PolygonMode::FRONT_AND_BACK,
                  _wireframe ? osg::PolygonMode::LINE : osg::PolygonMode::FILL);
    // Stored again each time so that its on/off value follows the switch.
    stateSet->setAttribute(mode.get(),
                           _wireframe ? osg::StateAttribute::ON : osg::StateAttribute::OFF);
}
