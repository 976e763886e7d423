// The programs' command line read into what to do: run on a port, print the
// help or the version, or name the mistake; what it ignores is named in the
// warning.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/CommandLine.h"

namespace {

using commandline::CommandLine;
using Action = CommandLine::Action;

struct ParseCase
{
    const char* name;
    std::vector<std::string> arguments; // program name first
    Action action;
    int port;         // -1: none given
    const char* said; // a piece of the error text (Action::Error), else of the
                      // warning; empty: no warning
};

class CommandLineParse : public testing::TestWithParam<ParseCase>
{
};

TEST_P(CommandLineParse, ReadsWhatTheUserAskedFor)
{
    const ParseCase& c = GetParam();
    const CommandLine read = commandline::parse(c.arguments);
    EXPECT_EQ(read.action, c.action) << read.error;
    if (c.action == Action::Run) {
        EXPECT_EQ(read.port.value_or(-1), c.port);
    }
    const std::string warning = commandline::ignoredWarning(read, "orvane");
    if (c.action == Action::Error) {
        EXPECT_NE(read.error.find(c.said), std::string::npos) << read.error;
    } else {
        EXPECT_TRUE(read.error.empty()) << read.error;
        if (*c.said) {
            EXPECT_NE(warning.find(c.said), std::string::npos) << warning;
            EXPECT_EQ(warning.find('\n'), warning.size() - 1) << "not one line: " << warning;
        }
    }
    if (!*c.said) {
        EXPECT_EQ(warning, "");
    }
}

const ParseCase kParseCases[] = {
    {"NoArguments", {"orvane"}, Action::Run, -1, ""},
    {"PortGiven", {"orvane", "-tcp", "12000"}, Action::Run, 12000, ""},
    {"PortZeroLetsTheSystemChoose", {"orvane", "-tcp", "0"}, Action::Run, 0, ""},
    {"HighestPort", {"orvane", "-tcp", "65535"}, Action::Run, 65535, ""},
    {"LastPortWins", {"orvane", "-tcp", "12000", "-tcp", "13000"}, Action::Run, 13000, ""},
    {"Help", {"orvane", "--help"}, Action::Help, -1, ""},
    {"ShortHelp", {"orvane", "-h"}, Action::Help, -1, ""},
    {"Version", {"orvane", "--version"}, Action::Version, -1, ""},
    {"HelpAfterAPort", {"orvane", "-tcp", "12000", "--help"}, Action::Help, -1, ""},
    {"FirstRequestWins", {"orvane", "--version", "--help"}, Action::Version, -1, ""},
    {"HelpBeforeAMistakeIsAnswered", {"orvane", "--help", "-tcp", "x"}, Action::Help, -1, ""},
    {"PortThatIsAWord", {"orvane", "-tcp", "abc"}, Action::Error, -1, "'abc' is not a port"},
    {"PortAboveTheRange", {"orvane", "-tcp", "99999"}, Action::Error, -1, "'99999' is not a port"},
    {"PortWithTrailingLetters", {"orvane", "-tcp", "12ab"}, Action::Error, -1, "'12ab'"},
    {"NegativePort", {"orvane", "-tcp", "-5"}, Action::Error, -1, "'-5'"},
    {"EmptyPort", {"orvane", "-tcp", ""}, Action::Error, -1, "'' is not a port"},
    {"HugePort", {"orvane", "-tcp", "99999999999999999999"}, Action::Error, -1, "not a port"},
    {"OptionAsPort", {"orvane", "-tcp", "-tcp", "15000"}, Action::Error, -1, "'-tcp'"},
    {"PortMissingIsIgnored", {"orvane", "-tcp"}, Action::Run, -1, "'-tcp' without <port>"},
    {"PortMissingKeepsTheEarlierPort",
     {"orvane", "-tcp", "12000", "-tcp"},
     Action::Run,
     12000,
     "'-tcp' without <port>"},
    {"UnknownOptionIsIgnored", {"orvane", "--frobnicate"}, Action::Run, -1, "'--frobnicate'"},
    {"AllIgnoredNamedInOneWarning",
     {"orvane", "-x", "-tcp", "12000", "stray"},
     Action::Run,
     12000,
     "ignored '-x', 'stray'"},
    {"QtOptionsLeftAroundThePort",
     {"orvane", "-style", "fusion", "-tcp", "12000", "-geometry", "800x600"},
     Action::Run,
     12000,
     "'-style', 'fusion'"},
    {"OptionIsCaseSensitive", {"orvane", "-TCP", "12000"}, Action::Run, -1, "'-TCP', '12000'"},
    {"OptionWithEqualsSign", {"orvane", "-tcp=12000"}, Action::Run, -1, "'-tcp=12000'"},
    {"MistakeBeforeHelp", {"orvane", "-tcp", "x", "--help"}, Action::Error, -1, "'x'"},
};

INSTANTIATE_TEST_SUITE_P(CommandLine, CommandLineParse, testing::ValuesIn(kParseCases),
                         [](const testing::TestParamInfo<ParseCase>& row) {
                             return std::string(row.param.name);
                         });

TEST(CommandLineUsage, ListsEveryOptionOfTheTableUnderTheProgramsName)
{
    const std::string text = commandline::usage("/usr/local/bin/orvane-gl");
    EXPECT_EQ(text.rfind("Usage: orvane-gl [options]\n", 0), 0u) << text;
    for (const commandline::Option& option : commandline::options()) {
        EXPECT_NE(text.find(std::string(option.name)), std::string::npos) << option.name;
        if (!option.alias.empty()) {
            EXPECT_NE(text.find(std::string(option.alias)), std::string::npos) << option.alias;
        }
        for (std::string_view value : option.values) {
            EXPECT_NE(text.find(std::string(option.name) + " " + std::string(value)),
                      std::string::npos)
                << option.name;
        }
    }
    EXPECT_EQ(text.back(), '\n');
    // Continuation lines of an option's help stand in its column.
    const std::size_t dash = text.find("  -tcp <port>");
    ASSERT_NE(dash, std::string::npos);
    const std::size_t column = text.find("listen", dash) - text.rfind('\n', dash) - 1;
    const std::size_t next = text.find('\n', dash) + 1;
    EXPECT_EQ(text.find_first_not_of(' ', next) - next, column) << text;
}

TEST(CommandLineAnswer, HelpAndVersionExitZeroAMistakeTwo)
{
    CommandLine help;
    help.action = Action::Help;
    EXPECT_EQ(commandline::answer(help, "orvane"), 0);
    CommandLine mistake;
    mistake.action = Action::Error;
    mistake.error = "unknown option '-x'";
    EXPECT_EQ(commandline::answer(mistake, "orvane"), commandline::USAGE_ERROR);
    EXPECT_EQ(commandline::USAGE_ERROR, 2);
    EXPECT_EQ(commandline::versionLine("./orvane").rfind("orvane ", 0), 0u);
}

} // namespace
