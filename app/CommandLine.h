#pragma once
// The program's arguments: the original batch forms ("/c PATTERN",
// "/l FILE", read from the arguments joined with blanks, as always) and the
// conventions of a Linux program beside them.
#include <string>
#include <vector>

struct CommandLine {
    enum class Action { Run, Help, Version, BadUsage, History, HistorySync };
    Action action = Action::Run;
    // The line the start-up and the batch jobs read: the arguments joined with
    // single blanks, "--convert X" and "--load X" given as "/c X" and "/l X".
    std::string line;
    // --port PATH: the serial device for this run, whatever config.ini maps
    // (the first one when --port is given several times).
    std::string port;
    // Every --port in the order given: more than one runs the job on each bus.
    std::vector<std::string> ports;
    // --ports FILE: a file listing the ports, one a line.
    std::string portsFile;
    // --address AA and --device NAME: the device a load or save works with
    // instead of the first one on the bus (-1, empty: not asked for). The
    // address is hexadecimal as the windows show it ("2A", "0x2A"), or a
    // decimal in the form "dec:42".
    int address = -1;
    std::string deviceName;
    // --save PATTERN: back up the device on every port named.
    std::string savePattern;
    // The job runs on each bus of a port list (see app/BusJobs.h): several
    // ports, a port list file, or a save.
    bool onSeveralBuses() const { return ports.size() > 1 || !portsFile.empty() || !savePattern.empty(); }
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
