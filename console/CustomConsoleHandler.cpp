#include "console/CustomConsoleHandler.h"

#include "log/Log.h"

#include <charconv>
#include <sstream>
#include <string_view>
#include <vector>

namespace console {

namespace {

std::vector<std::string> splitWords(const std::string& command)
{
    std::vector<std::string> words;
    std::istringstream stream(command);
    for (std::string word; stream >> word;)
        words.push_back(word);
    return words;
}

// The whole word as a number in the given base; false if any of it is not.
bool parseWhole(std::string_view word, int base, int& value)
{
    if (base == 16 && word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X'))
        word.remove_prefix(2);
    if (word.empty() || word.front() == '+')
        return false;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value, base);
    return error == std::errc{} && end == word.data() + word.size();
}

} // namespace

CustomConsoleHandler::CustomConsoleHandler(Log& log) : _log(log) {}

CustomConsoleHandler::CustomConsoleHandler() : CustomConsoleHandler(Log::instance()) {}

void CustomConsoleHandler::handle(const std::string& command)
{
    const std::vector<std::string> words = splitWords(command);
    if (words.size() == 1 && words[0] == "help") {
        listCommands();
        return;
    }
    if (words.size() != 3 || words[0] != "set") {
        notFound();
        return;
    }
    const std::string& value = words[2];
    int number = 0;
    if (words[1] == "mask") {
        if (!parseWhole(value, 16, number) || number < 0) {
            _log.writeLine(LEVEL_8, "Invalid mask: " + value + " (expected a hexadecimal number)");
            _log.show();
            return;
        }
        _log.setLevelMask(number);
    } else if (words[1] == "noClip") {
        if (!parseWhole(value, 10, number)) {
            _log.writeLine(LEVEL_8, "Invalid noClip value: " + value + " (expected a number)");
            _log.show();
            return;
        }
        _noClip = number != 0;
        _log.writeLine(
            _noClip ? "no Clipping mode enabled - rerun simulation for change to take effect"
                    : "no Clipping mode disabled - rerun simulation for change to take effect");
    } else {
        notFound();
    }
}

void CustomConsoleHandler::notFound()
{
    _log.show();
    _log.writeLine(LEVEL_8, "Command not found!");
    _log.writeLine(LEVEL_8, "Type help to list the commands.");
}

void CustomConsoleHandler::listCommands()
{
    for (const char* line : kCommandList)
        _log.writeLine(LEVEL_4, line);
}

} // namespace console
