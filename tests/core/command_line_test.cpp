// The program's arguments: the original batch forms, the long forms beside
// them, --port, --help, --version, and the mistakes that end in usage.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/CommandLine.h"

namespace {

struct Case {
    std::vector<std::string> args;
    CommandLine::Action action;
    std::string line;
    std::string port;
};

CommandLine parse(const std::vector<std::string>& args) {
    std::vector<std::string> owned = {"fieldservice"};
    owned.insert(owned.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : owned) argv.push_back(a.data());
    argv.push_back(nullptr);
    return parseCommandLine(int(owned.size()), argv.data());
}

class Arguments : public ::testing::TestWithParam<Case> {};

TEST_P(Arguments, AreReadAsTheProgramTakesThem) {
    const Case& c = GetParam();
    const CommandLine got = parse(c.args);
    EXPECT_EQ(got.action, c.action);
    if (c.action == CommandLine::Action::Run) {
        EXPECT_EQ(got.line, c.line);
        EXPECT_EQ(got.port, c.port);
    } else if (c.action == CommandLine::Action::BadUsage) {
        EXPECT_FALSE(got.error.empty());
    }
}

using A = CommandLine::Action;
INSTANTIATE_TEST_SUITE_P(
    Forms, Arguments,
    ::testing::Values(
        Case{{}, A::Run, "", ""},
        Case{{"/c", "/data/*.NFO"}, A::Run, "/c /data/*.NFO", ""},
        Case{{"-v", "/c", "x.NFO"}, A::Run, "-v /c x.NFO", ""},   // the original line, as ever
        Case{{"--convert", "*.NFO"}, A::Run, "/c *.NFO", ""},
        Case{{"--load=unit.NFO"}, A::Run, "/l unit.NFO", ""},
        Case{{"--port", "/dev/ttyUSB1", "--load", "a b.NFO"}, A::Run, "/l a b.NFO", "/dev/ttyUSB1"},
        Case{{"--help"}, A::Help, "", ""},
        Case{{"/c", "x", "-h"}, A::Help, "", ""},
        Case{{"--version"}, A::Version, "", ""},
        Case{{"--verbose"}, A::BadUsage, "", ""},
        Case{{"--load"}, A::BadUsage, "", ""},
        Case{{"--port="}, A::BadUsage, "", ""},
        Case{{"--converter", "x"}, A::BadUsage, "", ""}));

}  // namespace
