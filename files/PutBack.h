#pragma once
// Putting a device back after a load that stopped: exactly the registers the
// load wrote, from the backup taken before it, read back afterwards; and
// what the operator and the service history are told about the stop.
#include <cstdint>
#include <string>
#include <vector>

#include "files/ParameterFiles.h"
#include "session/ServiceJournal.h"

class AppContext;
struct LanguageTexts;

struct PutBackResult {
    bool attempted = false;   // the load wrote something and the backup could be read
    bool verified = false;    // every register written back and read back as the backup has it
    // The register whose write or read-back failed or differed; 0: none.
    uint32_t stoppedAt = 0;
    // What the device holds now of each parameter put back (the backup's
    // value when read back equal); nothing for one not reached.
    std::vector<JournalValue> values;
};

// Writes back the backup's value of every parameter the load wrote, then the
// password and last the bus address when the load changed them (so the
// device answers where we talk to it until the end), and reads them all
// back. Journaled as a put-back entry of its own. Extended access is left
// open: the caller restarts the device.
PutBackResult putBackWritten(AppContext& ctx, const std::string& backupPath, const LoadRun& run);

// One message for a load that stopped after it began: where it stopped (the
// value, and whether the device refused it or did not answer), then what
// the device holds now: unchanged, put back and verified, or what the load
// left where the put-back did not reach, with the backup to load.
std::string stoppedLoadReport(const LanguageTexts& texts, const std::string& path, const std::string& backupPath,
                              const LoadRun& run, const PutBackResult& putBack);
// The history's words for the same: "stopped at 0346: refused 2000; put back and verified".
std::string stoppedLoadDetail(const LoadRun& run, const PutBackResult& putBack);
