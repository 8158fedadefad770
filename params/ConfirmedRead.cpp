#include "params/ConfirmedRead.h"

#include <optional>

namespace {
bool same(const ParameterReading& a, const ParameterReading& b) {
    return a.value == b.value && a.onOff == b.onOff && a.digits == b.digits;
}
}  // namespace

bool needsConfirming(const ParameterReading& reading) {
    return reading.outcome == ReadOutcome::Present && !reading.onOff;
}

Confirmation confirmReading(DeviceLink& link, ParameterNumber number, ParameterReading& reading) {
    std::optional<ParameterReading> previous = reading;
    uint8_t widest = reading.digits;
    for (int reads = 1; reads < MAX_CONFIRMING_READS; ++reads) {
        ParameterReading r = readParameter(link, number);
        if (r.outcome == ReadOutcome::Failed) return Confirmation::Failed;
        // A parameter that is suddenly not there breaks the row.
        if (r.outcome != ReadOutcome::Present) {
            previous.reset();
            continue;
        }
        if (r.digits < widest) continue;   // lost digits on the way
        if (r.digits > widest) {
            // Everything before was short: start the row afresh.
            widest = r.digits;
            previous = r;
            continue;
        }
        if (previous && same(*previous, r)) {
            reading = r;
            return Confirmation::Agreed;
        }
        previous = r;
    }
    return Confirmation::Unsettled;
}
