#include "platform/ThreadTiming.h"

#include <pthread.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/resource.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace threadtiming {

namespace {

constexpr unsigned long SlackNs = 1000;
// Threaded interrupt handlers run at real-time priority 50: a link thread
// above them would keep the serial driver's own interrupt work from
// running, and with it the bytes the link waits for.
constexpr int HighestPriority = 49;

// 0: not asked yet, otherwise the errno of the refusal, or -1 when granted.
std::atomic<int> outcome{0};

int setFifo(int priority) {
    sched_param param{};
    param.sched_priority = priority;
    return pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
}

}  // namespace

void preciseTimers() { prctl(PR_SET_TIMERSLACK, SlackNs, 0, 0, 0); }

bool realtimePriority() {
    int seen = outcome.load();
    if (seen > 0) return false;
    int err = setFifo(HighestPriority);
    if (err == EPERM) {
        // Without CAP_SYS_NICE only priorities up to the limit are allowed.
        rlimit limit{};
        if (getrlimit(RLIMIT_RTPRIO, &limit) == 0 && limit.rlim_cur > 0) {
            int allowed = limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur > 99 ? 99 : int(limit.rlim_cur);
            err = setFifo(allowed < HighestPriority ? allowed : HighestPriority);
        }
    }
    if (err == 0) {
        outcome.store(-1);
        return true;
    }
    int expected = seen;
    if (outcome.compare_exchange_strong(expected, err)) {
        std::fprintf(stderr,
                     "fieldservice: no real-time priority for the serial link (%s); bus timing may stretch "
                     "under load\n",
                     err == EPERM ? "not permitted" : std::strerror(err));
    }
    return false;
}

const char* realtimeState() {
    int seen = outcome.load();
    if (seen == 0) return "not asked yet";
    if (seen < 0) return "granted";
    return seen == EPERM ? "not permitted" : std::strerror(seen);
}

}  // namespace threadtiming
