#include "platform/Clock.h"

#include <cerrno>
#include <ctime>

namespace {

constexpr int64_t NanosPerSecond = 1000000000;

class MonotonicClock : public Clock {
public:
    bool frequency(int64_t& ticksPerSecond) override {
        ticksPerSecond = NanosPerSecond;
        return true;
    }

    bool now(int64_t& ticks) override {
        timespec ts{};
        if (clock_gettime(CLOCK_MONOTONIC, &ts) != 0) return false;
        ticks = int64_t(ts.tv_sec) * NanosPerSecond + ts.tv_nsec;
        return true;
    }

    // Sleeps to one nanosecond past the tick: the deadline test is "strictly
    // greater", and an absolute sleep never drifts however often it is woken.
    void sleepUntil(int64_t ticks) override { sleepTo(ticks + 1); }

    // The watch is bounded by the tick itself: the monotonic clock always
    // moves, and a clock that cannot be read ends it at once.
    int64_t waitUntil(int64_t ticks, uint32_t watchMicros) override {
        int64_t watch = int64_t(watchMicros) * 1000;
        int64_t t = 0;
        if (watch <= 0) {
            sleepUntil(ticks);
            return now(t) ? t : 0;
        }
        if (!now(t)) return 0;
        int64_t woke = 0;
        if (ticks - watch > t) {
            sleepTo(ticks - watch);
            if (now(t)) woke = t;
        }
        while (now(t) && t <= ticks) {
        }
        return woke;
    }

private:
    static void sleepTo(int64_t target) {
        timespec ts{};
        ts.tv_sec = time_t(target / NanosPerSecond);
        ts.tv_nsec = long(target % NanosPerSecond);
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
        }
    }
};

}  // namespace

std::shared_ptr<Clock> monotonicClock() {
    static std::shared_ptr<Clock> clock = std::make_shared<MonotonicClock>();
    return clock;
}
