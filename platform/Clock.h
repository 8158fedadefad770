#pragma once
// The high-resolution clock of the deadline timers and the file seed.
#include <cstdint>
#include <memory>

class Clock {
public:
    virtual ~Clock() = default;
    // Ticks per second; false when the clock cannot be read.
    virtual bool frequency(int64_t& ticksPerSecond) = 0;
    // The current tick count; false when the clock cannot be read.
    virtual bool now(int64_t& ticks) = 0;
    // Returns once now() gives more than ticks (or the clock cannot be read).
    // The monotonic clock sleeps to the tick; a simulated clock jumps there.
    // This fallback spins, for clocks that know no better.
    virtual void sleepUntil(int64_t ticks) {
        int64_t t = 0;
        while (now(t) && t <= ticks) {
        }
    }
    // Returns as sleepUntil does, but ends its sleep watchMicros before the
    // tick and watches the clock for the rest: waking from a sleep is late
    // by however long the system takes to run the thread again (a tenth of a
    // millisecond or more for an idle CPU of a virtual machine), watching is
    // not. 0 sleeps all the way. Clocks that know no better just sleep.
    // Returns the tick the sleep itself ended at, before the watch (how late
    // the system woke the thread), or 0 when it did not sleep or cannot tell.
    virtual int64_t waitUntil(int64_t ticks, uint32_t watchMicros) {
        (void)watchMicros;
        sleepUntil(ticks);
        return 0;
    }
};

// The monotonic clock of this platform (nanosecond ticks).
std::shared_ptr<Clock> monotonicClock();
