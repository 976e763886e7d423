#pragma once
// Enters the flexible body (type code 10) and the flexible surface (11)
// into the object factory. The body's models come from the file source of
// the object's services.
//
// Threading: GUI thread, before the object manager starts.

class ObjectFactory;

void registerFlexObjects(ObjectFactory& factory);
