#pragma once
// The program's arguments: the original batch forms ("/c PATTERN",
// "/l FILE", read from the arguments joined with blanks, as always) and the
// conventions of a Linux program beside them.
#include <string>

struct CommandLine {
    enum class Action { Run, Help, Version, BadUsage, History };
    Action action = Action::Run;
    // The line the start-up and the batch jobs read: the arguments joined with
    // single blanks, "--convert X" and "--load X" given as "/c X" and "/l X".
    std::string line;
    // --port PATH: the serial device for this run, whatever config.ini maps.
    std::string port;
    // --history [NAME|ADDRESS] [--csv]: the device asked for (empty: all) and the form.
    std::string historyDevice;
    bool historyCsv = false;
    // Why the arguments were refused (BadUsage).
    std::string error;
};

CommandLine parseCommandLine(int argc, char** argv);

// What --help prints: usage, the batch forms and the exit statuses.
std::string usageText();
// What --version prints.
std::string versionLine();
