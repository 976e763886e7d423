#include "objects/VisParticleEffectObject.h"

#include <optional>
#include <span>

#include <osg/BoundingSphere>
#include <osg/Vec3>
#include <osgParticle/FireEffect>
#include <osgParticle/SmokeEffect>

namespace {

// The effect's bound as its parents see it: the emitter's area, not the
// cloud of particles. The particles' box changes with every frame and drifts
// with the wind, and a scene bound that follows it would make the camera
// framing the scene move all the time. The effect is never culled as a whole
// (its bound no longer holds its particles); its particle drawables still
// cull themselves by their own boxes.
class EmitterBound : public osg::Node::ComputeBoundingSphereCallback
{
public:
    osg::BoundingSphere computeBound(const osg::Node& node) const override
    {
        const auto& effect = static_cast<const osgParticle::ParticleEffect&>(node);
        return osg::BoundingSphere(effect.getPosition(), effect.getScale());
    }
};

} // namespace

VisParticleEffectObject::VisParticleEffectObject(const ObjectContext& context)
    : Vis3DObject(context)
{
    setIntersectable(false);
}

VisParticleEffectObject::~VisParticleEffectObject() = default;

bool VisParticleEffectObject::build(const GNP2::Packet&)
{
    const int kind = intItem(statePacket(), item::particle_effect::Effect)[0];
    const osg::Vec3 origin(0.f, 0.f, 0.f);
    osg::ref_ptr<osgParticle::ParticleEffect> effect;
    if (kind == FIRE)
        effect = new osgParticle::FireEffect(origin, 1.f, 0.f);
    else
        effect = new osgParticle::SmokeEffect(origin, 1.f, 0.f);
    effect->setEmitterDuration(EMITTER_DURATION);
    effect->setComputeBoundingSphereCallback(new EmitterBound);
    effect->setCullingActive(false);
    // One effect only, also when an earlier attempt got this far.
    osg::MatrixTransform* transform = getTransform();
    transform->removeChildren(0, transform->getNumChildren());
    transform->addChild(effect.get());
    _effect = effect;
    return true;
}

void VisParticleEffectObject::apply(const GNP2::Packet& arrived)
{
    applyItems(arrived);
}

void VisParticleEffectObject::applyItems(const GNP2::Packet& packet)
{
    const auto optionalFloat = [&](int index) -> std::optional<float> {
        if (!packet.hasItem(index))
            return std::nullopt;
        return floatItem(packet, index)[0];
    };
    const auto optionalVec3 = [&](int index) -> std::optional<osg::Vec3> {
        if (!packet.hasItem(index))
            return std::nullopt;
        const std::span<const float> xyz = floatItem(packet, index, 3);
        return osg::Vec3(xyz[0], xyz[1], xyz[2]);
    };
    const std::optional<float> intensity = optionalFloat(item::particle_effect::Intensity);
    const std::optional<float> duration = optionalFloat(item::particle_effect::LifeTime);
    const std::optional<float> scale = optionalFloat(item::particle_effect::EffectScale);
    const std::optional<osg::Vec3> wind = optionalVec3(item::particle_effect::Wind);
    const std::optional<osg::Vec3> emitter = optionalVec3(item::particle_effect::Position);
    std::span<const float> orientation, transformScale;
    if (packet.hasItem(item::particle_effect::Orientation))
        orientation = floatItem(packet, item::particle_effect::Orientation, 6);
    if (packet.hasItem(item::particle_effect::Scale))
        transformScale = floatItem(packet, item::particle_effect::Scale, 3);

    if (intensity)
        _effect->setIntensity(*intensity);
    if (duration)
        _effect->setParticleDuration(*duration);
    if (scale)
        _effect->setScale(*scale);
    if (wind)
        _effect->setWind(*wind);
    if (emitter)
        _effect->setPosition(*emitter);
    if (emitter || scale)
        _effect->dirtyBound();
    if (!orientation.empty())
        setOrientation(orientation);
    if (!transformScale.empty())
        setScale(transformScale);
}
