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
    int address = -1;          // --address as read
    std::string error = {};    // part of the reason of a refusal
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
        EXPECT_EQ(got.address, c.address);
    } else if (c.action == CommandLine::Action::BadUsage) {
        EXPECT_FALSE(got.error.empty());
        EXPECT_NE(got.error.find(c.error), std::string::npos) << got.error;
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
        Case{{"--converter", "x"}, A::BadUsage, "", ""},
        // --address as every window shows it: hexadecimal; a decimal only as dec:N.
        Case{{"--load", "x.NFO", "--address", "2a"}, A::Run, "/l x.NFO", "", 0x2A},
        Case{{"--load", "x.NFO", "--address", "2A"}, A::Run, "/l x.NFO", "", 0x2A},
        Case{{"--load", "x.NFO", "--address", "0x2A"}, A::Run, "/l x.NFO", "", 0x2A},
        Case{{"--load", "x.NFO", "--address=0X2a"}, A::Run, "/l x.NFO", "", 0x2A},
        Case{{"--load", "x.NFO", "--address", "12"}, A::Run, "/l x.NFO", "", 0x12},   // "12>VALVEDRV"
        Case{{"--load", "x.NFO", "--address", "0"}, A::Run, "/l x.NFO", "", 0},
        Case{{"--load", "x.NFO", "--address", "3f"}, A::Run, "/l x.NFO", "", 0x3F},
        Case{{"--load", "x.NFO", "--address", "dec:42"}, A::Run, "/l x.NFO", "", 42},
        Case{{"--load", "x.NFO", "--address", "DEC:12"}, A::Run, "/l x.NFO", "", 12},
        Case{{"--load", "x.NFO", "--address", "dec:63"}, A::Run, "/l x.NFO", "", 63},
        Case{{"--address", "40"}, A::BadUsage, "", "", -1, "00..3F"},
        Case{{"--address", "0x40"}, A::BadUsage, "", "", -1, "00..3F"},
        Case{{"--address", "dec:64"}, A::BadUsage, "", "", -1, "00..3F"},
        Case{{"--address", "ff"}, A::BadUsage, "", "", -1, "00..3F"},
        Case{{"--address", "dec:2a"}, A::BadUsage, "", "", -1, "dec:42"},
        Case{{"--address", "dec:"}, A::BadUsage, "", "", -1, "dec:42"},
        Case{{"--address", "0x"}, A::BadUsage, "", "", -1, "hexadecimal"},
        Case{{"--address", "2g"}, A::BadUsage, "", "", -1, "hexadecimal"},
        Case{{"--address", "-1"}, A::BadUsage, "", "", -1, "00..3F"},
        Case{{"--address", "0x12345"}, A::BadUsage, "", "", -1, "00..3F"},
        Case{{"--address"}, A::BadUsage, "", "", -1, "needs a value"}));

TEST(Usage, TellsTheAddressFormsAndTheRangeInHex) {
    const std::string usage = usageText();
    EXPECT_NE(usage.find("--address AA"), std::string::npos);
    EXPECT_NE(usage.find("dec:42"), std::string::npos);
    EXPECT_NE(usage.find("00..3F"), std::string::npos);
}

}  // namespace
