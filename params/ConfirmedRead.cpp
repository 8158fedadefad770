#include "params/ConfirmedRead.h"

#include <algorithm>

namespace {
bool same(const ParameterReading& a, const ParameterReading& b) {
    return a.value == b.value && a.onOff == b.onOff && a.digits == b.digits;
}

void addSeen(std::vector<uint32_t>& seen, uint32_t value) {
    if (std::find(seen.begin(), seen.end(), value) == seen.end()) seen.push_back(value);
}
}  // namespace

bool needsConfirming(const ParameterReading& reading) {
    return reading.outcome == ReadOutcome::Present && !reading.onOff;
}

bool movedBetween(const ParameterReading& first, const ParameterReading& second) {
    return first.outcome == ReadOutcome::Present && second.outcome == ReadOutcome::Present && !first.onOff &&
           !second.onOff && first.digits == second.digits && first.value != second.value;
}

Confirmation confirmReading(DeviceLink& link, ParameterNumber number, ParameterReading& reading,
                            uint8_t knownDigits, std::vector<uint32_t>* seen) {
    // Without a known width, two reads that lost the same pair would agree
    // on a wrong value as often as one long value in 2 to 6 garbled twice in
    // a row; a third read makes that a matter of three. The same count of
    // reads at the widest width decides a value that moves.
    const int needed = knownDigits ? 2 : 3;
    uint8_t widest = std::max(reading.digits, knownDigits);
    ParameterReading last = reading;
    int agreeing = 0;                 // reads in a row, at the widest width, equal to last
    std::vector<uint32_t> values;     // the reads at the widest width, in order
    if (reading.digits >= widest) {
        agreeing = 1;
        values.push_back(reading.value);
    }
    auto decided = [&](Confirmation c) {
        reading = last;
        if (seen) {
            seen->clear();
            for (uint32_t v : values) addSeen(*seen, v);
        }
        return c;
    };
    for (int reads = 1; reads < MAX_CONFIRMING_READS; ++reads) {
        ParameterReading r = readParameter(link, number);
        if (r.outcome == ReadOutcome::Failed) return Confirmation::Failed;
        // A parameter that is suddenly not there breaks the row.
        if (r.outcome != ReadOutcome::Present) {
            agreeing = 0;
            continue;
        }
        if (r.digits < widest) continue;   // lost digits on the way
        if (r.digits > widest) {
            // Everything before was short: start afresh.
            widest = r.digits;
            agreeing = 0;
            values.clear();
        }
        agreeing = agreeing > 0 && same(last, r) ? agreeing + 1 : 1;
        last = r;
        values.push_back(r.value);
        if (agreeing >= needed) return decided(Confirmation::Agreed);
        const bool allEqual = std::all_of(values.begin(), values.end(), [&](uint32_t v) { return v == values.front(); });
        if (static_cast<int>(values.size()) >= needed && !allEqual) return decided(Confirmation::Moving);
    }
    return Confirmation::Unsettled;
}
