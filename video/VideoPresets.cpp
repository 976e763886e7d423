#include "video/VideoPresets.h"

#include "settings/Settings.h"

namespace video {

namespace {

const QString GROUP = QStringLiteral("Presets");

QString key(const QString& name, std::string_view field)
{
    return GROUP + '/' + name + '/' + QString::fromLatin1(field.data(), qsizetype(field.size()));
}

} // namespace

const std::array<VideoPreset, 6>& defaultPresets()
{
    static const std::array<VideoPreset, 6> presets = {{
        {"MPeg4 - High Quality", "MPEG4 (ISO Standard)", "800", "32", "800", "600"},
        {"MPeg4 - Low Quality", "MPEG4 (ISO Standard)", "200", "24", "400", "300"},
        {"Windows Media Video - High Quality", "WMV2 (compatible to PowerPoint)", "800", "32",
         "800", "600"},
        {"Windows Media Video - Low Quality", "WMV2 (compatible to PowerPoint)", "200", "24", "400",
         "300"},
        {"Flash Video - for online publishing", "FlashVideo (Online publishing)", "200", "24",
         "400", "300"},
        {"Uncompressed HUV - for postprocessing", "Huff YUV (lossless compression)", "3000", "100",
         "1280", "1024"},
    }};
    return presets;
}

QStringList presetNames(QSettings& store)
{
    store.beginGroup(GROUP);
    const QStringList names = store.childGroups();
    store.endGroup();
    return names;
}

bool writeDefaultPresetsIfEmpty(QSettings& store)
{
    if (!presetNames(store).isEmpty())
        return false;
    for (const VideoPreset& preset : defaultPresets())
        savePreset(store, preset);
    return true;
}

std::optional<VideoPreset> loadPreset(QSettings& store, const QString& name)
{
    if (!validPresetName(name) || !presetNames(store).contains(name))
        return std::nullopt;
    auto field = [&](std::size_t i) {
        return settings::storedValue(store, key(name, settings::PRESET_FIELDS[i])).toString();
    };
    return VideoPreset{name, field(0), field(1), field(2), field(3), field(4)};
}

void savePreset(QSettings& store, const VideoPreset& preset)
{
    const std::array<const QString*, 5> values = {&preset.codec, &preset.bitrate, &preset.framerate,
                                                  &preset.width, &preset.height};
    for (std::size_t i = 0; i < values.size(); ++i)
        settings::setSettingValue(store, key(preset.name, settings::PRESET_FIELDS[i]), *values[i]);
}

void deletePreset(QSettings& store, const QString& name)
{
    if (!validPresetName(name))
        return;
    store.remove(GROUP + '/' + name);
}

bool validPresetName(const QString& name)
{
    return !name.trimmed().isEmpty() && !name.contains('/') && !name.contains('\\');
}

} // namespace video
