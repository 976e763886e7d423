#include "scene/ColorCorrectionVisitor.h"

#include <osg/Geode>
#include <osg/Material>

#include "scene/ColorVisitor.h"

ColorCorrectionVisitor::ColorCorrectionVisitor() : osg::NodeVisitor(TRAVERSE_ALL_CHILDREN) {}

void ColorCorrectionVisitor::apply(osg::Geode& geode)
{
    for (unsigned i = 0; i < geode.getNumDrawables(); ++i) {
        osg::Material& material = ColorVisitor::takeMaterial(*geode.getDrawable(i));
        // Face by face, so a material with different front and back diffuse
        // colours keeps that difference in its ambient colour.
        const osg::Vec4 front = material.getDiffuse(osg::Material::FRONT);
        const osg::Vec4 back = material.getDiffuse(osg::Material::BACK);
        if (material.getDiffuseFrontAndBack()) {
            material.setAmbient(osg::Material::FRONT_AND_BACK, front);
        } else {
            material.setAmbient(osg::Material::FRONT, front);
            material.setAmbient(osg::Material::BACK, back);
        }
    }
}
