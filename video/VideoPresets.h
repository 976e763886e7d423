#pragma once
// The export's named presets in the settings store: under the group
// "Presets", one subgroup per preset holding the codec's list text and the
// bit rate, frame rate, width and height, all as text. A store without any
// preset gets the six defaults.
//
// Threading: whichever thread owns the QSettings passed in.

#include <QSettings>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

namespace video {

struct VideoPreset
{
    QString name;
    QString codec; // the codec list's item text
    QString bitrate;
    QString framerate;
    QString width;
    QString height;
};

// The defaults written into a store without presets, in this order.
const std::array<VideoPreset, 6>& defaultPresets();

// Writes the defaults when "Presets" has no subgroup; says whether it did.
bool writeDefaultPresetsIfEmpty(QSettings& store);
// The presets' names in the store's order.
QStringList presetNames(QSettings& store);
std::optional<VideoPreset> loadPreset(QSettings& store, const QString& name);
// Stores (or overwrites) the preset under its name.
void savePreset(QSettings& store, const VideoPreset& preset);
void deletePreset(QSettings& store, const QString& name);
// Whether a name can be a preset's: not empty and without the store's group
// separators "/" and "\".
bool validPresetName(const QString& name);

} // namespace video
