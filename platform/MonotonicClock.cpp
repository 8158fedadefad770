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
    void sleepUntil(int64_t ticks) override {
        int64_t target = ticks + 1;
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
