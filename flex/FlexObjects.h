#pragma once
// Enters the flexible body (type code 10) into the object factory. Its
// models come from the file source of the object's services.
//
// Threading: GUI thread, before the object manager starts.

class ObjectFactory;

void registerFlexObjects(ObjectFactory& factory);
