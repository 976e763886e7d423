#include "flex/FlexObjects.h"

#include "flex/VisFlexBodyObject.h"
#include "flex/VisFlexSurfaceObject.h"
#include "scene/ObjectKinds.h"

void registerFlexObjects(ObjectFactory& factory)
{
    factory.add(TYPE_VisFlexBodyObject,
                [](const ObjectContext& context) { return new VisFlexBodyObject(context); });
    factory.add(TYPE_VisFlexSurfaceObject,
                [](const ObjectContext& context) { return new VisFlexSurfaceObject(context); });
}
