#pragma once
// A clock that only moves when told to: the in-process line moves it by the
// wire time of every byte and by the whole timeout of every read that gets
// nothing, so a test that scans a bus or waits out a restart costs no real
// time. It can also step by itself on every read (a clock that always moves).
#include <atomic>
#include <cstdint>

#include "platform/Clock.h"

class VirtualClock : public Clock {
public:
    // ticksPerSecond: the frequency the link sees (the nanosecond default, or
    // an odd one such as 999). stepTicksPerRead: ticks added after each read.
    explicit VirtualClock(int64_t ticksPerSecond = 1000000000, int64_t stepTicksPerRead = 0);

    bool frequency(int64_t& ticksPerSecond) override;
    bool now(int64_t& ticks) override;
    void sleepUntil(int64_t ticks) override;

    int64_t nowNs() const { return ns_.load(); }
    void advanceNs(int64_t ns);
    // Moves forward to ns; never backward.
    void advanceToNs(int64_t ns);
    // Makes now() fail, as a clock that cannot be read.
    void setBroken(bool broken) { broken_ = broken; }
    // How many times now() was read.
    uint64_t reads() const { return reads_.load(); }

private:
    int64_t ticksAt(int64_t ns) const;
    int64_t nsAtTicks(int64_t ticks) const;

    int64_t frequency_;
    int64_t stepTicks_;
    std::atomic<int64_t> ns_{0};
    std::atomic<uint64_t> reads_{0};
    std::atomic<bool> broken_{false};
};
