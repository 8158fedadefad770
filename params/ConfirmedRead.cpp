#include "params/ConfirmedRead.h"

#include <algorithm>

namespace {
bool same(const ParameterReading& a, const ParameterReading& b) {
    return a.value == b.value && a.onOff == b.onOff && a.digits == b.digits;
}
}  // namespace

bool needsConfirming(const ParameterReading& reading) {
    return reading.outcome == ReadOutcome::Present && !reading.onOff;
}

Confirmation confirmReading(DeviceLink& link, ParameterNumber number, ParameterReading& reading,
                            uint8_t knownDigits) {
    // Without a known width, two reads that lost the same pair would agree
    // on a wrong value as often as one long value in 2 to 6 garbled twice in
    // a row; a third read makes that a matter of three.
    const int needed = knownDigits ? 2 : 3;
    uint8_t widest = std::max(reading.digits, knownDigits);
    ParameterReading last = reading;
    int agreeing = reading.digits >= widest ? 1 : 0;   // reads in a row, at the widest width, equal to last
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
            // Everything before was short: start the row afresh.
            widest = r.digits;
            agreeing = 0;
        }
        agreeing = agreeing > 0 && same(last, r) ? agreeing + 1 : 1;
        last = r;
        if (agreeing >= needed) {
            reading = r;
            return Confirmation::Agreed;
        }
    }
    return Confirmation::Unsettled;
}
