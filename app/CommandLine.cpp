#include "app/CommandLine.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

#ifndef ORVANE_VERSION
#define ORVANE_VERSION "unknown"
#endif

namespace commandline {

namespace {

std::string quoted(std::string_view text)
{
    return "'" + std::string(text) + "'";
}

std::string readPort(CommandLine& commandLine, std::span<const std::string> values)
{
    std::string error;
    const std::optional<int> port = portNumber(values[0], &error);
    if (!port)
        return error;
    commandLine.port = port;
    return {};
}

// The program's name as the user typed it, without its folder.
std::string_view baseName(std::string_view program)
{
    const std::size_t slash = program.rfind('/');
    return slash == std::string_view::npos ? program : program.substr(slash + 1);
}

const Option* findOption(std::string_view argument)
{
    for (const Option& option : options())
        if (argument == option.name || (!option.alias.empty() && argument == option.alias))
            return &option;
    return nullptr;
}

} // namespace

const std::vector<Option>& options()
{
    static const std::vector<Option> table = {
        {"-tcp",
         "",
         {"<port>"},
         "listen on this TCP port instead of the stored one (setting\n"
         "Network/TcpPort, default 11000); 0 to 65535, 0 lets the system\n"
         "choose a free port",
         &readPort},
        {"-h", "--help", {}, "print this help and exit", nullptr},
        {"--version", "", {}, "print the version and exit", nullptr},
    };
    return table;
}

std::optional<int> portNumber(std::string_view text, std::string* error)
{
    const bool digits =
        !text.empty() && text.size() <= 9 &&
        std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    int value = 0;
    if (digits)
        for (char c : text)
            value = value * 10 + (c - '0');
    if (digits && value <= 65535)
        return value;
    if (error)
        *error = quoted(text) + " is not a port number: give a whole number from 0 to 65535";
    return std::nullopt;
}

CommandLine parse(const std::vector<std::string>& arguments)
{
    CommandLine result;
    std::optional<CommandLine::Action> request; // --help or --version, the first given
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const Option* option = findOption(argument);
        std::string error;
        if (!option) {
            result.ignored.push_back(quoted(argument));
            continue;
        } else if (!option->read) {
            if (!request)
                request = option->name == "--version" ? CommandLine::Action::Version
                                                      : CommandLine::Action::Help;
            continue;
        } else if (i + option->values.size() >= arguments.size()) {
            // Only the end of the line can cut an option short.
            std::string names;
            for (std::string_view value : option->values)
                names += " " + std::string(value);
            result.ignored.push_back(quoted(argument) + " without" + names);
            break;
        } else {
            const std::span<const std::string> values(&arguments[i + 1], option->values.size());
            error = option->read(result, values);
            i += option->values.size();
        }
        if (!error.empty()) {
            // --help asked before the mistake is still answered.
            if (request)
                break;
            result.action = CommandLine::Action::Error;
            result.error = error;
            return result;
        }
    }
    if (request)
        result.action = *request;
    return result;
}

std::string ignoredWarning(const CommandLine& commandLine, std::string_view program)
{
    if (commandLine.ignored.empty())
        return {};
    std::string text = std::string(baseName(program)) + ": warning: ignored ";
    for (std::size_t i = 0; i < commandLine.ignored.size(); ++i)
        text += (i ? ", " : "") + commandLine.ignored[i];
    return text + " (" + std::string(baseName(program)) + " --help lists the options)\n";
}

std::string usage(std::string_view program)
{
    std::ostringstream text;
    text << "Usage: " << baseName(program) << " [options]\n\n"
         << "Shows the 3D scene that a running simulation streams to it over TCP,\n"
         << "records it and replays it.\n\nOptions:\n";
    std::vector<std::string> heads;
    std::size_t width = 0;
    for (const Option& option : options()) {
        std::string head = std::string(option.name);
        if (!option.alias.empty())
            head += ", " + std::string(option.alias);
        for (std::string_view value : option.values)
            head += " " + std::string(value);
        width = std::max(width, head.size());
        heads.push_back(head);
    }
    for (std::size_t i = 0; i < heads.size(); ++i) {
        std::istringstream help{std::string(options()[i].help)};
        std::string line;
        bool first = true;
        while (std::getline(help, line)) {
            text << "  " << (first ? heads[i] : "")
                 << std::string(width + 3 - (first ? heads[i].size() : 0), ' ') << line << "\n";
            first = false;
        }
    }
    text << "\nTo export a replay as a video file without the window (needs an X display):\n  "
         << baseName(program)
         << " --export-video <replay.dat> <out.mp4> [options]\n"
            "(without the two files it lists its options)\n";
    return text.str();
}

std::string versionLine(std::string_view program)
{
    return std::string(baseName(program)) + " " + ORVANE_VERSION;
}

int answer(const CommandLine& commandLine, std::string_view program)
{
    switch (commandLine.action) {
    case CommandLine::Action::Help:
        std::fputs(usage(program).c_str(), stdout);
        return 0;
    case CommandLine::Action::Version:
        std::printf("%s\n", versionLine(program).c_str());
        return 0;
    case CommandLine::Action::Error:
        std::fprintf(stderr, "%s: %s\n\n%s", std::string(baseName(program)).c_str(),
                     commandLine.error.c_str(), usage(program).c_str());
        return USAGE_ERROR;
    case CommandLine::Action::Run:
        break;
    }
    return 0;
}

} // namespace commandline
