#include "objects/VisWeatherObject.h"

#include <span>

#include <osg/Matrixd>
#include <osg/Vec3>
#include <osg/Vec4>
#include <osgParticle/PrecipitationEffect>

#include "scene/Colour.h"

namespace {

osg::Vec4 colourOf(std::span<const int> rgb, float alpha)
{
    return colour::fromBytes(rgb[0], rgb[1], rgb[2], alpha);
}

} // namespace

VisWeatherObject::VisWeatherObject(const ObjectContext& context) : VisObject(context) {}

VisWeatherObject::~VisWeatherObject()
{
    // Only our own fog is taken away: a later weather object may have put
    // its fog in its place.
    osg::ref_ptr<osg::StateSet> stateSet;
    if (_fog && _fogStateSet.lock(stateSet) &&
        stateSet->getAttribute(osg::StateAttribute::FOG) == _fog.get()) {
        stateSet->removeAttribute(_fog.get());
        stateSet->removeMode(GL_FOG);
    }
}

bool VisWeatherObject::build(const GNP2::Packet&)
{
    if (_transform)
        removeChild(_transform.get());
    _effect = new osgParticle::PrecipitationEffect;
    _applied.reset();
    _transform = new osg::MatrixTransform;
    addChild(_transform.get());
    _transform->addChild(_effect.get());
    _transform->setNodeMask(_transform->getNodeMask() & ~SHADOW_BITS);
    _fog = new osg::Fog;
    return true;
}

void VisWeatherObject::apply(const GNP2::Packet&)
{
    const GNP2::Packet& state = statePacket();
    switch (intItem(state, item::weather::WeatherKind)[0]) {
    case KIND_RAIN:
        rain(state);
        break;
    case KIND_SNOW:
        snow(state);
        break;
    case KIND_FOG:
        applyFog(state);
        break;
    default:
        break;
    }
}

// Each kind reads all its items before it changes anything, so a missing or
// short item leaves the weather as it was.

bool VisWeatherObject::effectChanges(const EffectInputs& inputs)
{
    if (_applied == inputs)
        return false;
    _applied = inputs;
    return true;
}

void VisWeatherObject::rain(const GNP2::Packet& state)
{
    const float intensity = floatItem(state, item::weather::Intensity)[0];
    const osg::Vec4 colour = colourOf(intItem(state, item::weather::Colour, 3), PARTICLE_ALPHA);
    const std::span<const float> wind = floatItem(state, item::weather::Wind, 2);

    if (effectChanges({KIND_RAIN, intensity, colour, {}})) {
        _effect->rain(intensity);
        _effect->setParticleSpeed(RAIN_SPEED);
        _effect->setParticleSize(RAIN_SIZE);
        _effect->setParticleColor(colour);
        _effect->setMaximumParticleDensity(intensity);
    }
    _transform->setMatrix(
        osg::Matrixd::rotate(osg::Vec3d(0.0, 0.0, -1.0), osg::Vec3d(wind[0], wind[1], RAIN_FALL)));
}

void VisWeatherObject::snow(const GNP2::Packet& state)
{
    const float intensity = floatItem(state, item::weather::Intensity)[0];
    const osg::Vec4 colour = colourOf(intItem(state, item::weather::Colour, 3), PARTICLE_ALPHA);
    const std::span<const float> wind = floatItem(state, item::weather::Wind, 3);

    const osg::Vec3 drift(wind[0], wind[1], wind[2]);
    if (effectChanges({KIND_SNOW, intensity, colour, drift})) {
        _effect->snow(intensity);
        _effect->setWind(drift);
        _effect->setParticleSpeed(SNOW_SPEED);
        _effect->setParticleSize(SNOW_SIZE);
        _effect->setParticleColor(colour);
        _effect->setMaximumParticleDensity(intensity);
    }
}

void VisWeatherObject::applyFog(const GNP2::Packet& state)
{
    const osg::Vec4 colour = colourOf(intItem(state, item::weather::Colour, 3), 1.f);
    const float start = floatItem(state, item::weather::FogStart)[0];
    const float end = floatItem(state, item::weather::FogEnd)[0];
    const bool on = intItem(state, item::weather::FogOn)[0] != 0;

    if (effectChanges({KIND_FOG, 0.f, {}, {}}))
        _effect->rain(0.f);
    _fog->setMode(osg::Fog::LINEAR);
    _fog->setFogCoordinateSource(osg::Fog::FRAGMENT_DEPTH);
    _fog->setColor(colour);
    _fog->setStart(start);
    _fog->setEnd(end);

    // Not yet in the scene: the fog is set on the parent by the first update
    // that finds one.
    if (getNumParents() == 0)
        return;
    osg::StateSet* stateSet = getParent(0)->getOrCreateStateSet();
    stateSet->setAttribute(_fog.get());
    stateSet->setMode(GL_FOG, (on ? osg::StateAttribute::ON : osg::StateAttribute::OFF) |
                                  osg::StateAttribute::OVERRIDE);
    _fogStateSet = stateSet;
}
