#include "app/SceneShadows.h"

#include <osg/ComputeBoundsVisitor>
#include <osgShadow/ShadowedScene>
#include <osgUtil/CullVisitor>

bool SceneSoftShadowMap::hasCasters() const
{
    const osgShadow::ShadowedScene* scene = getShadowedScene();
    if (!scene)
        return false;
    osg::ComputeBoundsVisitor bounds(osg::NodeVisitor::TRAVERSE_ACTIVE_CHILDREN);
    bounds.setTraversalMask(scene->getCastsShadowTraversalMask());
    // The visitor does not change the scene; traversal just needs a non-const node.
    const_cast<osgShadow::ShadowedScene*>(scene)->osg::Group::traverse(bounds);
    return bounds.getBoundingBox().valid();
}

void SceneSoftShadowMap::cull(osgUtil::CullVisitor& cv)
{
    if (hasCasters())
        osgShadow::SoftShadowMap::cull(cv);
    else
        _shadowedScene->osg::Group::traverse(cv);
}

osg::ref_ptr<SceneSoftShadowMap> createSceneShadows()
{
    osg::ref_ptr<SceneSoftShadowMap> shadows = new SceneSoftShadowMap;
    shadows->init();
    shadows->setBias(1.0f);
    shadows->setAmbientBias(osg::Vec2(0.8f, 1.0f));
    shadows->setJitteringScale(8.0f);
    shadows->setJitterTextureUnit(64);
    shadows->setSoftnessWidth(0.003f);
    shadows->setTextureSize(osg::Vec2s(1024, 1024));
    shadows->dirty();
    return shadows;
}
