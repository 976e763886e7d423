#include "objects/ShapeObjects.h"

#include "objects/VisBaseObject.h"
#include "objects/VisHUDObject.h"
#include "objects/VisLightObject.h"
#include "objects/VisLineObject.h"
#include "objects/VisParticleEffectObject.h"
#include "objects/VisTextObject.h"
#include "objects/VisWeatherObject.h"
#include "scene/ObjectKinds.h"

namespace {

template <typename Object> void add(ObjectFactory& factory, int typeCode)
{
    factory.add(typeCode, [](const ObjectContext& context) { return new Object(context); });
}

} // namespace

void registerShapeObjects(ObjectFactory& factory)
{
    add<VisBaseObject>(factory, TYPE_VisBaseObject);
}

void registerEffectObjects(ObjectFactory& factory)
{
    add<VisLightObject>(factory, TYPE_VisLightObject);
    add<VisTextObject>(factory, TYPE_VisTextObject);
    add<VisWeatherObject>(factory, TYPE_VisWeatherObject);
    add<VisParticleEffectObject>(factory, TYPE_VisParticleEffectObject);
}

void registerLineObjects(ObjectFactory& factory)
{
    add<VisLineObject>(factory, TYPE_VisLineObject);
}

void registerHudObjects(ObjectFactory& factory)
{
    add<VisHUDObject>(factory, TYPE_VisHUDObject);
}
