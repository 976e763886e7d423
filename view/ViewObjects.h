#pragma once
// Enters the view's object kind into the object factory: type code 9
// creates a VisViewObject of the viewer manager the object manager knows as
// its view host. Without a viewer manager there the code creates nothing.

class ObjectFactory;

void registerViewObjects(ObjectFactory& factory);
