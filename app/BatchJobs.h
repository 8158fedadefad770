#pragma once
// The two jobs the program runs from its command line without the operator:
// "/c path" converts parameter files into reports, "/l path" loads the first
// matching parameter file into the first device on the bus. Messages and
// progress go through ctx.ui(), the device through ctx.link.
//
// Exit status of a job:
//   0  the job did all it was asked;
//   1  a file could not be converted, or the load did not complete (no device,
//      the select or identity read failed, the load stopped with its message,
//      a question was answered No, the restart failed), or the read-back
//      after the load (settings.verifyAfterLoad) found a parameter that
//      differs from the file or could not read them all;
//   2  the directory or the first matching file was not found.

#include <cstdint>
#include <string>

class AppContext;

// The device a load or a save works with: the first one the scan finds,
// unless an address or a name picks another.
struct DeviceChoice {
    int address = -1;      // 0..63; -1: not asked for
    std::string name;      // up to 8 characters, compared without the padding blanks
};

// What the load on one bus came to, for the table after a job on several buses.
struct BusLoadOutcome {
    bool selected = false;       // a device was chosen: name and address are its
    std::string deviceName;
    uint8_t address = 0;
    std::string backupPath;      // empty: none was saved
    enum class Check { NotRun, Verified, Differs } check = Check::NotRun;
};

// Scans the bus of ctx, selects the chosen device and reads its identity;
// false after the message of what went wrong (text 19, 3, 33292 or 33293).
bool selectChosenDevice(AppContext& ctx, const DeviceChoice& choice);

// The load of "/l" on the port of ctx, with a parameter file already found:
// open, choose the device, load with its backup, restart, read back, close.
// Returns the exit status of the job; outcome (when given) tells the rest.
int loadIntoChosenDevice(AppContext& ctx, const std::string& parameterFile, const DeviceChoice& choice,
                         BusLoadOutcome* outcome = nullptr);

// The parameter file a matched name stands for ("unit.DOC": unit.NFO).
std::string batchParameterFile(const std::string& matched);

// True when the line asks for a job ("/c " or "/l ", slash, letter, blank).
bool isBatchCommandLine(const std::string& commandLine);

// Runs the job the line asks for and returns its exit status (0 when the line
// asks for none). The current directory is the same afterwards.
// choice picks the device of a load.
int runBatchJob(AppContext& ctx, const std::string& commandLine, const DeviceChoice& choice = {});

// A job's entries go to the plant's server before it ends: within 3 s, then
// they wait in the journal for the next send (said, with the server).
void sendBeforeTheEnd(AppContext& ctx);
