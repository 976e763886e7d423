#pragma once
// Rain, snow or fog around the viewer: the scene library's precipitation
// effect under a transform of the object's own (the object is not a 3D
// object: it has no position, and it neither casts nor receives shadows, so
// the transform's node mask has bits 1 to 4 cleared).
//
// Every update reads the whole state and sets the kind of item 49 again:
//  - rain (0): the library's rain preset for intensity 53[0], then particle
//    speed 20, size 0.02, colour 44 with alpha 0.6 and a maximum density
//    equal to the intensity. The transform turns straight down (0, 0, -1)
//    towards (54[0], 54[1], -20), so the rain slants with the wind.
//  - snow (1): the snow preset for 53[0], the wind 54[0..2] into the effect,
//    then speed 1, size 0.05, colour 44 with alpha 0.6 and density as for
//    rain. The transform stays as it is.
//  - fog (2): the rain preset for intensity 0 (nothing falls) and a linear
//    fog over fragment depth, colour 44 with alpha 1, from 50[0] to 51[0],
//    set on the state set of the object's first parent (the group the object
//    hangs in), switched on (52[0] nonzero) or off with override, so that
//    nodes below cannot switch it back.
// Other kinds change nothing. When the object goes, it takes its fog off
// the state set it put it on, unless another fog has replaced it there.
//
// A preset rebuilds the effect's geometry and drops the particle cells it has
// drawn so far. Updates that leave the effect's inputs (kind, intensity,
// colour, and for snow the wind) as they were therefore do not call it again:
// a simulation that repeats its weather with every step, or only turns the
// rain's wind, keeps the rain falling smoothly.
//
// Threading: GUI thread only (the scene update traversal, under the object
// manager's lock).

#include <optional>

#include <osg/Fog>
#include <osg/MatrixTransform>
#include <osg/StateSet>
#include <osg/Vec3>
#include <osg/Vec4>
#include <osg/observer_ptr>
#include <osg/ref_ptr>

#include "scene/VisObject.h"
#include "protocol/Items.h"

namespace osgParticle {
class PrecipitationEffect;
}

class VisWeatherObject : public VisObject
{
public:
    // Item 49[0]: KIND_RAIN, KIND_SNOW, KIND_FOG.
    using Kind = item::weather::WeatherKindValue;
    using enum item::weather::WeatherKindValue;

    // The node mask bits (1 to 4) the transform clears: those of the shadow
    // traversals.
    static constexpr osg::Node::NodeMask SHADOW_BITS = 0x1E;

    // Values set on top of the library's presets.
    static constexpr float RAIN_SPEED = 20.f;
    static constexpr float RAIN_SIZE = 0.02f;
    static constexpr float RAIN_FALL = -20.f; // the z of the slant direction
    static constexpr float SNOW_SPEED = 1.f;
    static constexpr float SNOW_SIZE = 0.05f;
    static constexpr float PARTICLE_ALPHA = 0.6f;

    explicit VisWeatherObject(const ObjectContext& context);

    const char* className() const override { return "VisWeatherObject"; }

    // Null before initialisation.
    osgParticle::PrecipitationEffect* effect() const { return _effect.get(); }
    osg::MatrixTransform* weatherTransform() const { return _transform.get(); }
    osg::Fog* fog() const { return _fog.get(); }

protected:
    ~VisWeatherObject() override;

    bool build(const GNP2::Packet& packet) override;
    void apply(const GNP2::Packet& arrived) override;

private:
    // What a preset and the values on top of it were last made from.
    struct EffectInputs
    {
        int kind;
        float intensity;
        osg::Vec4 colour;
        osg::Vec3 wind; // snow only; rain's wind turns the transform
        bool operator==(const EffectInputs&) const = default;
    };
    // Whether the effect must be set up for `inputs`; remembers them.
    bool effectChanges(const EffectInputs& inputs);

    void rain(const GNP2::Packet& state);
    void snow(const GNP2::Packet& state);
    void applyFog(const GNP2::Packet& state);

    osg::ref_ptr<osgParticle::PrecipitationEffect> _effect;
    osg::ref_ptr<osg::MatrixTransform> _transform;
    osg::ref_ptr<osg::Fog> _fog;
    // The state set the fog was put on; only observed, it belongs to the parent.
    osg::observer_ptr<osg::StateSet> _fogStateSet;
    std::optional<EffectInputs> _applied;
};
