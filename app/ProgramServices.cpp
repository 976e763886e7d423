#include "app/ProgramServices.h"

#include "console/ConsoleHandler.h"
#include "files/FileManager.h"
#include "settings/Settings.h"

class ProgramServices::StoredDeformationChoice : public DeformationChoice
{
public:
    int deformationMode() const override
    {
        return settings::mendedInteger(settings::openSettings(),
                                       settings::SettingKey::HardwareAcceleration);
    }
};

ProgramServices::ProgramServices()
    : _files(std::make_unique<FileManager>()),
      _deformation(std::make_unique<StoredDeformationChoice>())
{
}

ProgramServices::~ProgramServices() = default;

ObjectServices ProgramServices::services()
{
    return {.files = _files.get(),
            .viewEvents = &console::ConsoleHandler::instance(),
            .deformation = _deformation.get()};
}
