#include "files/FileObjects.h"

#include "files/FileManager.h"
#include "files/TerrainModule.h"
#include "files/VisFileObject.h"
#include "scene/ObjectKinds.h"

void registerFileObjects(ObjectFactory& factory)
{
    registerFileObjects(factory, FileManager::instance(), TerrainModule::program());
}

void registerFileObjects(ObjectFactory& factory, FileManager& files, TerrainModule& terrainModule)
{
    factory.add(TYPE_VisFileObject, [&files, &terrainModule](const ObjectContext& context) {
        return new VisFileObject(context.sendQueue, files, terrainModule);
    });
}
