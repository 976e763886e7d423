#pragma once
// The object classes of the shape module, entered into the object factory by
// type code. The program calls this once at start-up, before the object
// manager applies its first packet.

class ObjectFactory;

// Type code 2: VisBaseObject.
void registerShapeObjects(ObjectFactory& factory);
