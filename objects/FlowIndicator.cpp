#include "objects/FlowIndicator.h"

#include <osg/Shape>
#include <osg/ShapeDrawable>

#include "scene/ColorVisitor.h"

FlowIndicator::FlowIndicator(double phase) : _phase(phase), _geode(new osg::Geode)
{
    _geode->setDataVariance(osg::Object::DYNAMIC);
    _geode->addDrawable(new osg::ShapeDrawable(new osg::Cone(osg::Vec3(0.f, 0.f, 0.f), 1.f, 1.f)));
    addChild(_geode.get());
}

FlowIndicator::~FlowIndicator() = default;

void FlowIndicator::setColour(const osg::Vec4& rgb)
{
    const osg::Vec4 opaque(rgb.r(), rgb.g(), rgb.b(), 1.f);
    if (_coloured && opaque == _colour)
        return;
    ColorVisitor visitor;
    visitor.setColor(opaque.r(), opaque.g(), opaque.b());
    accept(visitor);
    _colour = opaque;
    _coloured = true;
}
