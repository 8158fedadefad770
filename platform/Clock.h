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
};

// The monotonic clock of this platform (nanosecond ticks).
std::shared_ptr<Clock> monotonicClock();
