#include "app/SceneShadows.h"

#include <osg/ComputeBoundsVisitor>
#include <osg/Light>
#include <osg/LightSource>
#include <osgShadow/ShadowedScene>
#include <osgUtil/CullVisitor>

namespace {

// Finds the first directional light and the first light of any kind among
// the active light sources under a node.
class LightFinder : public osg::NodeVisitor
{
public:
    LightFinder() : osg::NodeVisitor(TRAVERSE_ACTIVE_CHILDREN) {}

    void apply(osg::LightSource& source) override
    {
        if (auto* light = dynamic_cast<osg::Light*>(source.getLight())) {
            if (!first)
                first = light;
            if (!directional && light->getPosition().w() == 0.0f)
                directional = light;
        }
        traverse(source);
    }

    osg::Light* first = nullptr;
    osg::Light* directional = nullptr;
};

} // namespace

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

osg::Light* SceneSoftShadowMap::shadowLight() const
{
    const osgShadow::ShadowedScene* scene = getShadowedScene();
    if (!scene)
        return nullptr;
    LightFinder finder;
    const_cast<osgShadow::ShadowedScene*>(scene)->osg::Group::traverse(finder);
    return finder.directional ? finder.directional : finder.first;
}

void SceneSoftShadowMap::cull(osgUtil::CullVisitor& cv)
{
    if (!hasCasters()) {
        _shadowedScene->osg::Group::traverse(cv);
        return;
    }
    setLight(shadowLight());
    osgShadow::SoftShadowMap::cull(cv);
}

osg::ref_ptr<SceneSoftShadowMap> createSceneShadows()
{
    osg::ref_ptr<SceneSoftShadowMap> shadows = new SceneSoftShadowMap;
    shadows->init();
    shadows->setBias(1.0f);
    shadows->setAmbientBias(SCENE_SHADOW_AMBIENT_BIAS);
    shadows->setJitteringScale(8.0f);
    shadows->setJitterTextureUnit(64);
    shadows->setSoftnessWidth(0.003f);
    shadows->setTextureSize(osg::Vec2s(1024, 1024));
    shadows->dirty();
    return shadows;
}
