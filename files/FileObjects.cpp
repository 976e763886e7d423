#include "files/FileObjects.h"

#include "files/VisFileObject.h"
#include "scene/ObjectKinds.h"

void registerFileObjects(ObjectFactory& factory)
{
    factory.add(TYPE_VisFileObject,
                [](const ObjectContext& context) { return new VisFileObject(context); });
}
