#pragma once
// The soft shadows of the scene root. OSG's shadow maps fit the light's
// frustum around the bounds of the shadow casters; with no caster in the
// scene those bounds are empty, the shadow texture holds nothing sensible and
// every receiver is drawn black. SceneSoftShadowMap therefore draws the scene
// without the shadow pass while nothing casts a shadow, and as a soft shadow
// map otherwise.
//
// Threading: culled by the viewer on its cull thread, like any shadow
// technique; created and attached on the GUI thread.

#include <osg/ref_ptr>
#include <osgShadow/SoftShadowMap>

class SceneSoftShadowMap : public osgShadow::SoftShadowMap
{
public:
    void cull(osgUtil::CullVisitor& cv) override;

    // Whether any node under the shadowed scene passes its cast mask and has
    // valid bounds.
    bool hasCasters() const;
};

// A SceneSoftShadowMap initialised with the scene's parameters: bias 1.0,
// ambient bias (0.8, 1.0), jittering scale 8, jitter texture unit 64,
// softness width 0.003, a 1024 x 1024 shadow texture.
osg::ref_ptr<SceneSoftShadowMap> createSceneShadows();
