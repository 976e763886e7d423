#include "view/ViewObjects.h"

#include "scene/ObjectKinds.h"
#include "scene/ViewHost.h"

void registerViewObjects(ObjectFactory& factory)
{
    factory.add(TYPE_VisViewObject, [](const ObjectContext& context) -> VisObject* {
        ViewHost* host = context.services.viewHost;
        return host ? host->createView(context) : nullptr;
    });
}
