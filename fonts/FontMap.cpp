#include "fonts/FontMap.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <system_error>

namespace fonts {

namespace {

struct Mapping
{
    std::string_view windowsStem;
    std::string_view liberationFile;
};

constexpr std::array kMappings{
    Mapping{"times", "LiberationSerif-Regular.ttf"},
    Mapping{"timesbd", "LiberationSerif-Bold.ttf"},
    Mapping{"timesi", "LiberationSerif-Italic.ttf"},
    Mapping{"timesbi", "LiberationSerif-BoldItalic.ttf"},
    Mapping{"arial", "LiberationSans-Regular.ttf"},
    Mapping{"arialbd", "LiberationSans-Bold.ttf"},
    Mapping{"ariali", "LiberationSans-Italic.ttf"},
    Mapping{"arialbi", "LiberationSans-BoldItalic.ttf"},
    Mapping{"arialn", "LiberationSansNarrow-Regular.ttf"},
    Mapping{"arialnb", "LiberationSansNarrow-Bold.ttf"},
    Mapping{"arialni", "LiberationSansNarrow-Italic.ttf"},
    Mapping{"arialnbi", "LiberationSansNarrow-BoldItalic.ttf"},
    Mapping{"cour", "LiberationMono-Regular.ttf"},
    Mapping{"courbd", "LiberationMono-Bold.ttf"},
    Mapping{"couri", "LiberationMono-Italic.ttf"},
    Mapping{"courbi", "LiberationMono-BoldItalic.ttf"},
    Mapping{"lucon", "LiberationMono-Regular.ttf"},
};

// File name of a path written with either kind of separator.
std::string_view fileName(std::string_view name)
{
    const std::size_t slash = name.find_last_of("/\\");
    return slash == std::string_view::npos ? name : name.substr(slash + 1);
}

std::string lowerStem(std::string_view name)
{
    std::string_view base = fileName(name);
    const std::size_t dot = base.rfind('.');
    if (dot != std::string_view::npos && dot > 0)
        base = base.substr(0, dot);
    std::string stem(base);
    std::transform(stem.begin(), stem.end(), stem.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return stem;
}

bool isFile(const std::filesystem::path& path)
{
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

std::string findIn(std::string_view file, const std::vector<std::filesystem::path>& folders)
{
    for (const std::filesystem::path& folder : folders) {
        std::filesystem::path candidate = folder / std::filesystem::path(file);
        if (isFile(candidate))
            return candidate.string();
    }
    return {};
}

} // namespace

std::string liberationFontFor(std::string_view windowsName)
{
    const std::string stem = lowerStem(windowsName);
    for (const Mapping& mapping : kMappings)
        if (mapping.windowsStem == stem)
            return std::string(mapping.liberationFile);
    return {};
}

const std::vector<std::filesystem::path>& fontFolders()
{
    static const std::vector<std::filesystem::path> folders{
        "/usr/share/fonts/truetype/liberation",
        "/usr/share/fonts/truetype/liberation2",
        "/usr/share/fonts/liberation",
        "/usr/share/fonts/truetype/dejavu",
        "/usr/share/fonts/TTF",
        "/usr/local/share/fonts",
    };
    return folders;
}

std::string resolveFontFile(std::string_view name,
                            const std::vector<std::filesystem::path>& folders)
{
    if (name.empty())
        return {};
    if (name.find('\\') == std::string_view::npos && isFile(std::filesystem::path(name)))
        return std::string(name);
    if (const std::string liberation = liberationFontFor(name); !liberation.empty())
        if (std::string found = findIn(liberation, folders); !found.empty())
            return found;
    return findIn(fileName(name), folders);
}

} // namespace fonts
