#pragma once
// What the service history keeps of a parameter file and of a load: the
// file's values, its seal, and the read-back's result.
#include <string>
#include <vector>

#include "session/ServiceJournal.h"

struct SafeLoad;
struct Verification;

// Every value of a parameter text as "after" values (a save's record, a
// load's file); nothing for a text the load would refuse.
std::vector<JournalValue> journalValuesOfText(const std::string& text);
// A written parameter file on its save's entry: its seal (as writeSealedFile
// gives it) and values; the entry is done.
class JournalEntry;
void recordSavedFile(JournalEntry& entry, const std::string& seal, const std::string& text);
// The read-back's result on the load's entry: its words, the values that
// differ, and failed unless every value agreed.
void recordVerification(const SafeLoad& load, const Verification& v);

struct LoadRun;
struct PutBackResult;
// What a load wrote, as facts on its entry: each parameter's last value with
// the device's answer (acknowledged, or none), the value it refused, and why
// a load stopped before writing.
void recordLoadRun(JournalEntry& entry, const LoadRun& run);
// A stopped load's put-back on the load's entry: why it stopped and what the
// device holds now of each parameter put back.
void recordPutBack(JournalEntry& entry, const LoadRun& run, const PutBackResult& putBack);
// A load that went in but whose device did not come back from its restart:
// failed, and not verified.
void noteRestartLost(const SafeLoad& load);
