#pragma once
// One operation in the service history, begun where it is constructed (before
// the operation writes to the device) and ended by finish() after it. An
// entry destroyed without finish() ends with the outcome set last (failed); one whose process died
// before either stays without an end, and the history shows it interrupted.
// Without a journal in the context, or with it switched off, it does nothing.
#include <string>

#include "session/ServiceJournal.h"

class AppContext;

class JournalEntry {
public:
    // file: what a load reads or a save writes; via: where the operation was
    // started, when that is not its own command.
    JournalEntry(AppContext& ctx, JournalOperation op, const std::string& file = {}, const std::string& via = {});
    ~JournalEntry();
    JournalEntry(const JournalEntry&) = delete;
    JournalEntry& operator=(const JournalEntry&) = delete;

    // What the end records besides the outcome: file, seal, backup, detail, values.
    JournalEnd& record() { return end_; }
    // A backup saved before the operation writes: kept at once (see
    // ServiceJournal::noteBackup) and in the end.
    void noteBackup(const std::string& path);
    // The outcome the entry ends with when it is destroyed (failed unless set).
    void setOutcome(bool ok) { ok_ = ok; }
    void finish(bool ok);
    bool active() const { return id_ != 0; }

private:
    AppContext& ctx_;
    JournalOperation operation_;
    int64_t id_ = 0;
    JournalEnd end_;
    bool finished_ = false;
    bool ok_ = false;
};

// Marks the operations run while it lives as started from elsewhere (the
// comparison's Load button, the History window, a batch job).
class JournalVia {
public:
    JournalVia(AppContext& ctx, const std::string& via);
    ~JournalVia();
    JournalVia(const JournalVia&) = delete;
    JournalVia& operator=(const JournalVia&) = delete;

private:
    AppContext& ctx_;
    std::string before_;
};

// The outcome of the write the link made last, for a value's record.
ValueOutcome lastWriteOutcome(const AppContext& ctx);
// The identity of the device the context's link has selected.
DeviceIdentity selectedDeviceIdentity(const AppContext& ctx);
// Says the journal's problem to the operator when it is a new one, and that
// its file was replaced by another program when it was.
void tellJournalProblem(AppContext& ctx);
// The message text (number) that tells the operator of a journal problem.
uint32_t journalProblemText(JournalProblem problem);
