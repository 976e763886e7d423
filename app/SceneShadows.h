#pragma once
// The soft shadows of the scene root.
//
// Which light casts them: OSG's shadow maps take the last light they find
// in the frame's positioned state, which is whatever the traversal met last
// (often a narrow spot light, whose cone shadows almost nothing) or the
// views' head light (which shines from the eye, so that every shadow hides
// behind its caster). SceneSoftShadowMap instead picks, every frame, the
// scene's first directional light (a sun); without one, its first light of
// any kind; without any, the head light.
//
// How dark they are: the shadow shader multiplies the lit colour by
// ambient.x where shadowed and by ambient.x + ambient.y where lit. The
// ambient bias (0.5, 0.5) keeps lit surfaces their own colour and halves the
// light in shadow (the bias (0.8, 1.0) brightened everything lit by 80 %,
// washing the colours out, and left shadows at 80 %, hardly seen).
//
// OSG's shadow maps fit the light's frustum around the bounds of the shadow
// casters; with no caster in the scene those bounds are empty, the shadow
// texture holds nothing sensible and every receiver is drawn black.
// SceneSoftShadowMap therefore draws the scene without the shadow pass while
// nothing casts a shadow.
//
// Threading: culled by the viewer on its cull thread, like any shadow
// technique; created and attached on the GUI thread.

#include <osg/ref_ptr>
#include <osgShadow/SoftShadowMap>

namespace osg {
class Light;
}

class SceneSoftShadowMap : public osgShadow::SoftShadowMap
{
public:
    void cull(osgUtil::CullVisitor& cv) override;

    // Whether any node under the shadowed scene passes its cast mask and has
    // valid bounds.
    bool hasCasters() const;
    // The light that casts the shadows (see above); null for the head light.
    osg::Light* shadowLight() const;
};

// The ambient bias of the scene's shadows (see above).
inline const osg::Vec2 SCENE_SHADOW_AMBIENT_BIAS(0.5f, 0.5f);

// A SceneSoftShadowMap initialised with the scene's parameters: bias 1.0,
// ambient bias SCENE_SHADOW_AMBIENT_BIAS, jittering scale 8, jitter texture
// unit 64, softness width 0.003, a 1024 x 1024 shadow texture.
osg::ref_ptr<SceneSoftShadowMap> createSceneShadows();
