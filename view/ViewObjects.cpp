#include "view/ViewObjects.h"

#include "scene/ObjectKinds.h"
#include "view/ViewerManager.h"
#include "view/VisViewObject.h"

void registerViewObjects(ObjectFactory& factory)
{
    factory.add(TYPE_VisViewObject, [](const ObjectContext& context) -> VisObject* {
        auto* manager = dynamic_cast<ViewerManager*>(context.viewHost);
        if (!manager)
            return nullptr;
        return new VisViewObject(manager, false, false, context.sendQueue);
    });
}
