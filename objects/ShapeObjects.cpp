#include "objects/ShapeObjects.h"

#include "objects/VisBaseObject.h"
#include "scene/ObjectKinds.h"

void registerShapeObjects(ObjectFactory& factory)
{
    factory.add(TYPE_VisBaseObject,
                [](const ObjectContext& context) { return new VisBaseObject(context.sendQueue); });
}
