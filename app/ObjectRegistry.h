#pragma once
// Enters every scene object class the program is built with into the object
// factory, by type code. Each module that brings object classes adds one
// line here.
//
// Threading: GUI thread, before the object manager starts.

class ObjectFactory;

void registerObjectKinds(ObjectFactory& factory);
