#include "objects/VisLightObject.h"

#include <cmath>
#include <optional>
#include <span>

#include "scene/Colour.h"
#include "scene/LightNumbers.h"

namespace {

// OpenGL takes spot cut-offs of 0 to 90 degrees, or 180 for no cone at all;
// anything else would be refused with an error and leave the old value.
constexpr float NO_CONE = 180.0f;
constexpr float WIDEST_CONE = 90.0f;

const osg::Vec4 POSITIONAL(0.0f, 0.0f, 0.0f, 1.0f);
const osg::Vec4 DIRECTIONAL(-10.0f, 0.0f, 0.0f, 0.0f);
const osg::Vec3 SPOT_DIRECTION(1.0f, 0.0f, 0.0f);

float spotCutoff(float degrees)
{
    if (std::isnan(degrees) || degrees > WIDEST_CONE)
        return NO_CONE;
    return degrees < 0.0f ? 0.0f : degrees;
}

// Negative attenuations are refused by OpenGL; they count as none.
float attenuation(float value)
{
    return std::isnan(value) || value < 0.0f ? 0.0f : value;
}

} // namespace

VisLightObject::VisLightObject(const ObjectContext& context)
    : Vis3DObject(context), _lightNumber(LightNumbers::take())
{
}

VisLightObject::~VisLightObject()
{
    // Light 0 is also the head light's: leave it on.
    if (_switchedStateSet && _lightNumber != 0)
        _switchedStateSet->setMode(GL_LIGHT0 + _lightNumber, osg::StateAttribute::OFF);
}

bool VisLightObject::build(const GNP2::Packet& packet)
{
    osg::ref_ptr<osg::Light> light = new osg::Light(_lightNumber);
    osg::ref_ptr<osg::LightSource> source = new osg::LightSource;
    source->setLight(light.get());
    _light = light;
    applyLightItems(packet);
    applyTransformItems(packet);
    const bool directional = intItem(packet, item::light::Directional)[0] != 0;
    light->setPosition(directional ? DIRECTIONAL : POSITIONAL);
    light->setDirection(SPOT_DIRECTION);

    osg::MatrixTransform* transform = getTransform();
    if (_lightSource)
        transform->removeChild(_lightSource.get());
    transform->addChild(source.get());
    _lightSource = source;
    switchOnInParent();
    return true;
}

void VisLightObject::apply(const GNP2::Packet& arrived)
{
    // Hung under a group only after it was built (never by the object
    // manager, which adds it first).
    switchOnInParent();
    applyLightItems(arrived);
    applyTransformItems(arrived);
}

void VisLightObject::applyLightItems(const GNP2::Packet& packet)
{
    const auto colour = [&](int item) -> std::optional<osg::Vec4> {
        if (!packet.hasItem(item))
            return std::nullopt;
        const std::span<const int> rgb = intItem(packet, item, 3);
        return colour::fromBytes(rgb[0], rgb[1], rgb[2]);
    };
    const auto number = [&](int item) -> std::optional<float> {
        if (!packet.hasItem(item))
            return std::nullopt;
        return floatItem(packet, item)[0];
    };
    const std::optional<osg::Vec4> ambient = colour(item::light::Ambient);
    const std::optional<osg::Vec4> diffuse = colour(item::light::Diffuse);
    const std::optional<osg::Vec4> specular = colour(item::light::Specular);
    const std::optional<float> cutoff = number(item::light::SpotCutoff);
    const std::optional<float> linear = number(item::light::LinearAttenuation);
    const std::optional<float> quadratic = number(item::light::QuadraticAttenuation);
    const std::optional<float> constant = number(item::light::ConstantAttenuation);

    if (ambient)
        _light->setAmbient(*ambient);
    if (diffuse)
        _light->setDiffuse(*diffuse);
    if (specular)
        _light->setSpecular(*specular);
    if (cutoff)
        _light->setSpotCutoff(spotCutoff(*cutoff));
    if (linear)
        _light->setLinearAttenuation(attenuation(*linear));
    if (quadratic)
        _light->setQuadraticAttenuation(attenuation(*quadratic));
    if (constant)
        _light->setConstantAttenuation(attenuation(*constant));
}

void VisLightObject::switchOnInParent()
{
    if (_switchedStateSet || getNumParents() == 0)
        return;
    _switchedStateSet = getParent(0)->getOrCreateStateSet();
    _switchedStateSet->setMode(GL_LIGHT0 + _lightNumber, osg::StateAttribute::ON);
}
