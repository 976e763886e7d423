#pragma once
// The programs' command line: one table of options, read before anything
// else starts (no window, no display needed), so that `--help`, `--version`
// and every mistake are answered on the terminal and the program ends.
//
//     orvane [-tcp <port>]
//
// An argument that is none of the options is ignored: the program starts,
// after one warning on standard error that names what it ignored (main asks
// for it once Qt has taken the arguments it understands, such as -platform,
// -display, -style or -geometry, which therefore draw no warning).
//
// An option is a row of OPTIONS: its names, the names of the values it
// takes, a line for the usage text and a function that stores what it read.
// Adding an option is adding a row (and a field to CommandLine).
//
// Threading: called once from main, before the QApplication exists.

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace commandline {

// What the command line asked for.
struct CommandLine
{
    enum class Action
    {
        Run,     // open the window
        Help,    // print the usage, exit 0
        Version, // print the version, exit 0
        Error,   // print `error` and the usage, exit 2
    };
    Action action = Action::Run;
    std::string error; // Action::Error: what is wrong, one line

    // -tcp <port>: the port to listen on instead of the stored one.
    std::optional<int> port;

    // What was ignored, in the order given: unknown arguments as typed, and
    // an option lacking its values at the end of the line.
    std::vector<std::string> ignored;
};

// Stores the values of one option into the command line; returns what is
// wrong with them, empty when they are fine.
using OptionReader = std::string (*)(CommandLine& commandLine, std::span<const std::string> values);

struct Option
{
    std::string_view name;                // as typed: "-tcp"
    std::string_view alias;               // another spelling, empty: none
    std::vector<std::string_view> values; // names of the values it takes
    std::string_view help;                // one line for the usage text
    OptionReader read;                    // null: an action option (--help)
};

// Every option of the programs, in the order the usage lists them.
const std::vector<Option>& options();

// Reads the arguments after the program name (arguments[0]). A later option
// of the same kind replaces an earlier one; --help and --version win over
// everything else, a mistake over --help when it comes first.
CommandLine parse(const std::vector<std::string>& arguments);

// A port number as typed: decimal digits only, 0 to 65535 (0 lets the
// system choose a free port). Empty when it is none, with what is wrong.
std::optional<int> portNumber(std::string_view text, std::string* error = nullptr);

// The one-line warning (ending in a line feed) that names what
// `commandLine` ignored, for `program` (argv[0]); empty when nothing was.
std::string ignoredWarning(const CommandLine& commandLine, std::string_view program);

// The usage text for `program` (the name it was started as), ending in a
// line feed.
std::string usage(std::string_view program);

// The version line: "<program> <version>".
std::string versionLine(std::string_view program);

// What main does with a command line that is not Run: prints to stdout
// (help, version) or stderr (the error and the usage) and returns the exit
// status (0, or 2 for a mistake). `program` is argv[0].
int answer(const CommandLine& commandLine, std::string_view program);

// The exit status of a command-line mistake.
constexpr int USAGE_ERROR = 2;

} // namespace commandline
