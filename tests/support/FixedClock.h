#pragma once
// A seed clock for sealing files that always gives the same seed.
#include <cstdint>

#include "platform/Clock.h"

// A clock that gives one tick count, or cannot be read at all.
class FixedClock : public Clock {
public:
    explicit FixedClock(int64_t ticks, bool readable = true) : ticks_(ticks), readable_(readable) {}
    bool frequency(int64_t& f) override {
        f = 1000000000;
        return readable_;
    }
    bool now(int64_t& t) override {
        t = ticks_;
        return readable_;
    }

private:
    int64_t ticks_;
    bool readable_;
};
