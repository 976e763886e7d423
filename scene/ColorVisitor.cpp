#include "scene/ColorVisitor.h"

#include <osg/Geode>
#include <osg/Material>

ColorVisitor::ColorVisitor() : osg::NodeVisitor(TRAVERSE_ALL_CHILDREN) {}

void ColorVisitor::setColor(float r, float g, float b)
{
    _r = r;
    _g = g;
    _b = b;
    _applyColor = true;
}

void ColorVisitor::setAlpha(float alpha)
{
    _alpha = alpha;
    _applyAlpha = true;
}

void ColorVisitor::setShininess(float shininess)
{
    _shininess = shininess;
    _applyShininess = true;
}

osg::Material& ColorVisitor::takeMaterial(osg::Drawable& drawable)
{
    osg::StateSet* stateSet = drawable.getOrCreateStateSet();
    auto* material =
        dynamic_cast<osg::Material*>(stateSet->getAttribute(osg::StateAttribute::MATERIAL));
    if (!material) {
        material = new osg::Material;
        stateSet->setAttribute(material);
    }
    return *material;
}

void ColorVisitor::apply(osg::Geode& geode)
{
    constexpr auto both = osg::Material::FRONT_AND_BACK;
    for (unsigned i = 0; i < geode.getNumDrawables(); ++i) {
        osg::Material& material = takeMaterial(*geode.getDrawable(i));
        if (_applyColor) {
            const osg::Vec4 colour(_r, _g, _b, 1.0f);
            material.setDiffuse(both, colour);
            material.setAmbient(both, colour);
        }
        if (_applyShininess) {
            material.setSpecular(both, osg::Vec4(1.0f, 1.0f, 1.0f, 1.0f));
            material.setShininess(both, _shininess * 128.0f);
        }
        if (_applyAlpha)
            material.setAlpha(both, _alpha);
    }
}
