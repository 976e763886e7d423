#pragma once
// Smoke or fire: a particle effect of the scene library hung under the
// object's transform. Item 89 picks the kind once, at initialisation (1 fire,
// any other value smoke). Intensity (53), particle duration (90), effect
// scale (91), wind (54) and the emitter's position (1) go into the effect;
// orientation (3) and scale (4) set the transform as for every 3D object.
// Item 1 moves the emitter, not the transform: particles already emitted stay
// where they are, so the smoke of a moving source trails behind it.
//
// The effect starts at the origin with scale 1 and intensity 0 (no particles
// until item 53 arrives), and its emitter runs for 1e101 s, that is for ever.
// Its particles are textured with "Images/smoke.rgb", looked up on the scene
// graph's data file path when the effect is built: the program puts its data
// folders there before any object exists.
//
// Seen from its parents the effect is as large as its emitter's area (item 1,
// radius item 91): drifting particles do not move the scene's bound, which the
// camera framing the scene follows.
//
// Threading: GUI thread only (the scene update traversal, under the object
// manager's lock).

#include <osg/ref_ptr>

#include "scene/Vis3DObject.h"
#include "protocol/Items.h"

namespace osgParticle {
class ParticleEffect;
}

class VisParticleEffectObject : public Vis3DObject
{
public:
    // Item 89's value that makes fire (FIRE); every other value makes smoke.
    using enum item::particle_effect::EffectValue;
    // Long enough never to end within any run.
    static constexpr double EMITTER_DURATION = 1e101;

    explicit VisParticleEffectObject(const ObjectContext& context);

    const char* className() const override { return "VisParticleEffectObject"; }

    // The effect, or null before a successful initialisation.
    osgParticle::ParticleEffect* effect() const { return _effect.get(); }

protected:
    ~VisParticleEffectObject() override;

    bool build(const GNP2::Packet& packet) override;
    void apply(const GNP2::Packet& arrived) override;

private:
    // The effect's items (53, 90, 91, 54, 1) that the packet holds, and the
    // transform's items 3 and 4. Every value is read before any is applied,
    // so a malformed item changes nothing.
    void applyItems(const GNP2::Packet& packet);

    osg::ref_ptr<osgParticle::ParticleEffect> _effect;
};
