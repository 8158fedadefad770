#include "files/JournalRecords.h"

#include <algorithm>

#include "files/Compare.h"
#include "files/MovingValues.h"
#include "files/ParameterFiles.h"
#include "files/PutBack.h"
#include "files/ParameterPairs.h"
#include "files/SafeLoad.h"
#include "session/JournalEntry.h"

std::vector<JournalValue> journalValuesOfText(const std::string& text) {
    ParameterSet set;
    std::vector<JournalValue> values;
    if (!parameterSetOfText(text, set)) return values;
    values.reserve(set.size());
    for (const auto& [number, v] : set)
        if (v.unreadable.empty()) values.push_back({number, v.onOff, std::nullopt, v.value, std::nullopt, ValueOutcome::Recorded});
    return values;
}

void recordSavedFile(JournalEntry& entry, const std::string& seal, const std::string& text) {
    if (!entry.active()) return;
    entry.record().seal = seal;
    entry.record().values = journalValuesOfText(text);
    entry.setOutcome(true);
}

void recordVerification(const SafeLoad& load, const Verification& v) {
    if (!load.journal) return;
    JournalEnd& end = load.journal->record();
    end.detail = (v.partial ? "read back partly: " : "read back: ") + std::to_string(v.equal) + " of " +
                 std::to_string(v.listed) + " equal";
    if (!v.moving.empty()) end.detail += "; " + std::to_string(v.moving.size()) + " moving";
    for (const auto* list : {&v.differences, &v.moving})
        for (const ParameterDifference& d : *list) {
            auto at = std::find_if(end.values.begin(), end.values.end(),
                                   [&](const JournalValue& j) { return j.number == d.number; });
            if (at == end.values.end())
                at = end.values.insert(end.values.end(), {d.number, d.onOff, {}, d.fileValue, {}, {}});
            at->readBack = d.deviceValue;
            at->outcome = list == &v.moving ? ValueOutcome::Moving : ValueOutcome::Differs;
        }
    // What the read-back did not find otherwise is in the device as written.
    if (!v.partial)
        for (JournalValue& value : end.values)
            if (value.outcome == ValueOutcome::Written) value.outcome = ValueOutcome::Verified;
    const std::string moved = movingValuesDetail(load.backupMoving);
    if (!moved.empty()) end.detail += "; backup " + moved;
    load.journal->setOutcome(load.loaded && v.clean());
}

void recordLoadRun(JournalEntry& entry, const LoadRun& run) {
    JournalEnd& end = entry.record();
    end.values.clear();
    for (const WrittenRegister& r : run.registers) {
        if (r.key < 0x0100) continue;   // the address and password are told in the detail
        auto at = std::find_if(end.values.begin(), end.values.end(),
                               [&](const JournalValue& j) { return j.number == r.key; });
        if (at == end.values.end()) at = end.values.insert(end.values.end(), JournalValue{r.key, r.onOff, {}, {}, {}, {}});
        at->after = r.value;
        at->outcome = r.acknowledged ? ValueOutcome::Written : ValueOutcome::NoAnswer;
    }
    if (run.failedValue && !run.failedSilent && run.failedAt >= 0x0100)
        end.values.push_back({run.failedAt, false, {}, *run.failedValue, {}, ValueOutcome::Refused});
    if (!run.declined.empty()) end.detail = "declined: " + run.declined;
}

void recordPutBack(JournalEntry& entry, const LoadRun& run, const PutBackResult& putBack) {
    JournalEnd& end = entry.record();
    end.detail = stoppedLoadDetail(run, putBack);
    for (const JournalValue& back : putBack.values) {
        auto at = std::find_if(end.values.begin(), end.values.end(),
                               [&](const JournalValue& j) { return j.number == back.number; });
        if (at == end.values.end() || at->outcome == ValueOutcome::Refused) continue;
        at->outcome = ValueOutcome::PutBack;
        at->readBack = back.readBack;
    }
}

void noteRestartLost(const SafeLoad& load) {
    if (!load.journal) return;
    load.journal->record().detail = "loaded; the device did not come back after its restart, not verified";
    load.journal->setOutcome(false);
}
