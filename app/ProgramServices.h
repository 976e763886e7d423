#pragma once
// What the program's scene objects use beyond their nodes and that lives as
// long as the program's scene: the file manager, the deformation back-end as
// the settings store it (read each time a body asks, so a change in the
// settings dialog reaches the bodies made afterwards) and the console, which
// every view puts first among its event handlers. The main window and the
// command-line export each own one; it must outlive their object manager and
// viewer.
//
// Threading: GUI thread only.

#include <memory>

#include "scene/ObjectServices.h"

class FileManager;

class ProgramServices
{
public:
    ProgramServices();
    ~ProgramServices();
    ProgramServices(const ProgramServices&) = delete;
    ProgramServices& operator=(const ProgramServices&) = delete;

    FileManager& files() const { return *_files; }
    // The services with these filled in; the view host and the user's
    // messages are the caller's to add.
    ObjectServices services();

private:
    class StoredDeformationChoice;

    std::unique_ptr<FileManager> _files;
    std::unique_ptr<StoredDeformationChoice> _deformation;
};
