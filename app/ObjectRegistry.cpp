#include "app/ObjectRegistry.h"

#include "files/FileObjects.h"
#include "flex/FlexObjects.h"
#include "objects/ShapeObjects.h"
#include "objects/VisFlowPipeObject.h"
#include "objects/VisIntersectorObject.h"
#include "view/ViewObjects.h"

void registerObjectKinds(ObjectFactory& factory)
{
    registerShapeObjects(factory);       // 2: primitive shapes
    registerFlowPipeObjects(factory);    // 3: flow pipes
    registerFileObjects(factory);        // 4: model files and terrains
    registerEffectObjects(factory);      // 5, 6, 8, 13: lights, text, weather, particles
    registerHudObjects(factory);         // 7: head-up display elements
    registerLineObjects(factory);        // 12: lines
    registerViewObjects(factory);        // 9: views
    registerFlexObjects(factory);        // 10, 11: flexible bodies and surfaces
    registerIntersectorObjects(factory); // 14: intersectors
}
