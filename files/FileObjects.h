#pragma once
// Enters the file object (type code 4: model files and terrains) into the
// object factory.
//
// Threading: GUI thread, before the object manager starts.

class FileManager;
class ObjectFactory;
class TerrainModule;

// With the program's file manager and terrain module.
void registerFileObjects(ObjectFactory& factory);
// With the given ones, which must outlive every object the factory makes.
void registerFileObjects(ObjectFactory& factory, FileManager& files, TerrainModule& terrainModule);
