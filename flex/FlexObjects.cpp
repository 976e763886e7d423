#include "flex/FlexObjects.h"

#include "flex/VisFlexBodyObject.h"
#include "scene/ObjectKinds.h"

void registerFlexObjects(ObjectFactory& factory)
{
    factory.add(TYPE_VisFlexBodyObject,
                [](const ObjectContext& context) { return new VisFlexBodyObject(context); });
}
