#include "files/terrain/TerrainDescription.h"

#include <algorithm>
#include <cmath>
#include <sstream>

namespace terrain {
namespace {

// The numbers after a key, or nothing when there are not exactly `count`
// of them or one is not a finite number.
std::optional<std::vector<float>> numbers(std::istringstream& words, std::size_t count)
{
    std::vector<float> values;
    std::string word;
    while (words >> word) {
        std::size_t used = 0;
        float value = 0.0f;
        try {
            value = std::stof(word, &used);
        } catch (const std::exception&) {
            return std::nullopt;
        }
        if (used != word.size() || !std::isfinite(value))
            return std::nullopt;
        values.push_back(value);
    }
    if (values.size() != count)
        return std::nullopt;
    return values;
}

std::array<float, 3> colour(const std::vector<float>& rgb)
{
    return {rgb[0] / 255.0f, rgb[1] / 255.0f, rgb[2] / 255.0f};
}

} // namespace

std::optional<TerrainDescription> parseDescription(std::istream& in,
                                                   std::vector<std::string>& errors)
{
    TerrainDescription description;
    bool hasHeightmap = false, hasSize = false, hasHeight = false, hasOrigin = false;
    const std::size_t errorsBefore = errors.size();
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        line = line.substr(0, line.find('#'));
        std::istringstream words(line);
        std::string key;
        if (!(words >> key))
            continue;
        const std::string where = "line " + std::to_string(number) + ": ";
        if (key == "heightmap") {
            std::string name, extra;
            if (!(words >> name) || (words >> extra)) {
                errors.push_back(where + "heightmap needs one file name");
                continue;
            }
            description.heightmap = name;
            hasHeightmap = true;
        } else if (key == "size") {
            const auto values = numbers(words, 2);
            if (!values || (*values)[0] <= 0.0f || (*values)[1] <= 0.0f) {
                errors.push_back(where + "size needs two positive numbers");
                continue;
            }
            description.size = {(*values)[0], (*values)[1]};
            hasSize = true;
        } else if (key == "height") {
            const auto values = numbers(words, 2);
            if (!values) {
                errors.push_back(where + "height needs two numbers (black, white)");
                continue;
            }
            description.lowHeight = (*values)[0];
            description.highHeight = (*values)[1];
            hasHeight = true;
        } else if (key == "origin") {
            const auto values = numbers(words, 2);
            if (!values) {
                errors.push_back(where + "origin needs two numbers");
                continue;
            }
            description.origin = {(*values)[0], (*values)[1]};
            hasOrigin = true;
        } else if (key == "lowcolour" || key == "highcolour") {
            const auto values = numbers(words, 3);
            const auto outside = [](float v) { return v < 0.0f || v > 255.0f; };
            if (!values || std::any_of(values->begin(), values->end(), outside)) {
                errors.push_back(where + key + " needs three numbers from 0 to 255");
                continue;
            }
            (key == "lowcolour" ? description.lowColour : description.highColour) = colour(*values);
        } else {
            errors.push_back(where + "unknown setting \"" + key + "\"");
        }
    }
    if (!hasHeightmap)
        errors.push_back("no heightmap given");
    if (!hasSize)
        errors.push_back("no size given");
    if (!hasHeight)
        errors.push_back("no height given");
    if (errors.size() != errorsBefore)
        return std::nullopt;
    if (!hasOrigin)
        description.origin = {-description.size[0] / 2.0f, -description.size[1] / 2.0f};
    return description;
}

} // namespace terrain
