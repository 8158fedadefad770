#include "sim/VirtualClock.h"

namespace {
constexpr int64_t NanosPerSecond = 1000000000;
}

VirtualClock::VirtualClock(int64_t ticksPerSecond, int64_t stepTicksPerRead)
    : frequency_(ticksPerSecond > 0 ? ticksPerSecond : NanosPerSecond), stepTicks_(stepTicksPerRead) {}

bool VirtualClock::frequency(int64_t& ticksPerSecond) {
    ticksPerSecond = frequency_;
    return true;
}

int64_t VirtualClock::ticksAt(int64_t ns) const {
    return int64_t(__int128(ns) * frequency_ / NanosPerSecond);
}

// The first nanosecond at which the tick count reaches ticks.
int64_t VirtualClock::nsAtTicks(int64_t ticks) const {
    __int128 scaled = __int128(ticks) * NanosPerSecond;
    return int64_t((scaled + frequency_ - 1) / frequency_);
}

bool VirtualClock::now(int64_t& ticks) {
    if (broken_.load()) return false;
    reads_.fetch_add(1);
    int64_t ns = ns_.load();
    ticks = ticksAt(ns);
    if (stepTicks_ > 0) advanceToNs(nsAtTicks(ticks + stepTicks_));
    return true;
}

void VirtualClock::sleepUntil(int64_t ticks) {
    if (broken_.load()) return;
    advanceToNs(nsAtTicks(ticks + 1));
}

void VirtualClock::advanceNs(int64_t ns) {
    if (ns > 0) ns_.fetch_add(ns);
}

void VirtualClock::advanceToNs(int64_t ns) {
    int64_t current = ns_.load();
    while (current < ns && !ns_.compare_exchange_weak(current, ns)) {
    }
}
