#include "files/JournalRecords.h"

#include <algorithm>

#include "files/AtomicFile.h"
#include "files/Compare.h"
#include "files/ParameterKeys.h"
#include "files/ParameterPairs.h"
#include "files/SafeLoad.h"
#include "session/JournalEntry.h"

namespace {
// The seal sits in the file's first and last lines; a few kilobytes hold both.
constexpr size_t MAX_SEALED_FILE = 4 << 20;

std::string lineAfter(const std::string& data, const char* key) {
    auto value = afterKey(data, key);
    if (!value) return {};
    std::string_view v = *value;
    v = v.substr(0, std::min(v.find_first_of("\r\n"), v.size()));
    while (!v.empty() && v.front() == ' ') v.remove_prefix(1);
    return std::string(v);
}
}  // namespace

std::vector<JournalValue> journalValuesOfText(const std::string& text) {
    ParameterSet set;
    std::vector<JournalValue> values;
    if (!parameterSetOfText(text, set)) return values;
    values.reserve(set.size());
    for (const auto& [number, v] : set)
        if (v.unreadable.empty()) values.push_back({number, v.onOff, std::nullopt, v.value, std::nullopt});
    return values;
}

std::string sealOfFile(const std::string& parameterFile) {
    std::string data;
    if (!readWholeFile(parameterFile, data, MAX_SEALED_FILE)) return {};
    // The checksum follows the sealed block, which may hold any bytes: the
    // last "#END: " is the file's own.
    const size_t end = data.rfind(KEY_END);
    const std::string checksum = end == std::string::npos ? std::string() : lineAfter(data.substr(end), KEY_END);
    return lineAfter(data, KEY_CRPT) + "/" + checksum;
}

void recordSavedFile(JournalEntry& entry, const std::string& parameterFile, const std::string& text) {
    if (!entry.active()) return;
    entry.record().seal = sealOfFile(parameterFile);
    entry.record().values = journalValuesOfText(text);
    entry.setOutcome(true);
}

void recordVerification(const SafeLoad& load, const Verification& v) {
    if (!load.journal) return;
    JournalEnd& end = load.journal->record();
    end.detail = (v.partial ? "read back partly: " : "read back: ") + std::to_string(v.equal) + " of " +
                 std::to_string(v.listed) + " equal";
    for (const ParameterDifference& d : v.differences) {
        auto at = std::find_if(end.values.begin(), end.values.end(),
                               [&](const JournalValue& j) { return j.number == d.number; });
        if (at == end.values.end()) at = end.values.insert(end.values.end(), {d.number, d.onOff, {}, d.fileValue, {}});
        at->readBack = d.deviceValue;
    }
    load.journal->setOutcome(load.loaded && v.clean());
}
