#pragma once
// The object classes of the shape module, entered into the object factory by
// type code. The program calls these once at start-up, before the object
// manager applies its first packet.

class ObjectFactory;

// Type code 2: VisBaseObject.
void registerShapeObjects(ObjectFactory& factory);

// Type codes 5, 6, 8 and 13: VisLightObject, VisTextObject, VisWeatherObject
// and VisParticleEffectObject.
void registerEffectObjects(ObjectFactory& factory);

// Type code 12: VisLineObject.
void registerLineObjects(ObjectFactory& factory);

// Type code 7: VisHUDObject, the head-up display elements.
void registerHudObjects(ObjectFactory& factory);
