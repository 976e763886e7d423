#pragma once
// Enters the view's object kind into the object factory: type code 9
// creates a view of the view host in the object's services. Without a view
// host the code creates nothing.

class ObjectFactory;

void registerViewObjects(ObjectFactory& factory);
