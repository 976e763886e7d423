#pragma once
// Enters the file object (type code 4: model files and terrains) into the
// object factory. Its files come from the file source of the object's
// services.
//
// Threading: GUI thread, before the object manager starts.

class ObjectFactory;

void registerFileObjects(ObjectFactory& factory);
