#include "scene/ColorVisitor.h"

#include <osg/Geode>
#include <osg/Material>

#include "scene/SharedState.h"

namespace {

osg::Material& materialOf(osg::StateSet& stateSet, const osg::Material* startingFrom)
{
    auto* material =
        dynamic_cast<osg::Material*>(stateSet.getAttribute(osg::StateAttribute::MATERIAL));
    if (!material) {
        material = startingFrom ? new osg::Material(*startingFrom) : new osg::Material;
        stateSet.setAttribute(material);
    }
    return *material;
}

} // namespace

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
    return materialOf(*drawable.getOrCreateStateSet(), nullptr);
}

void ColorVisitor::apply(osg::Geode& geode)
{
    // A drawable that other objects draw too cannot carry this object's
    // colour: the geode's own state set does.
    if (sharedstate::hasSharedDrawable(geode)) {
        change(materialOf(sharedstate::ownStateSet(geode), nullptr));
        return;
    }
    // A geode coloured while its drawable was shared keeps that material in
    // its pooled state set; a drawable's first material starts from it.
    const osg::StateSet* geodeState = geode.getStateSet();
    const auto* inherited = sharedstate::isPooled(geodeState)
                                ? dynamic_cast<const osg::Material*>(
                                      geodeState->getAttribute(osg::StateAttribute::MATERIAL))
                                : nullptr;
    for (unsigned i = 0; i < geode.getNumDrawables(); ++i)
        change(materialOf(*geode.getDrawable(i)->getOrCreateStateSet(), inherited));
}

void ColorVisitor::change(osg::Material& material) const
{
    constexpr auto both = osg::Material::FRONT_AND_BACK;
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
