#pragma once
// What a thread that keeps the wire's timing asks of the system: timers
// that end when asked, and real-time priority where the process may have it.
#include <cstdint>

namespace threadtiming {

// Timer slack of 1 µs for the calling thread. By default the kernel may end
// a thread's sleeps and timeouts up to 50 µs late to gather wake-ups; on a
// bus where a transaction is a few milliseconds that adds up.
void preciseTimers();

// FIFO real-time priority for the calling thread, when the process may have
// it: with CAP_SYS_NICE, or up to the priority RLIMIT_RTPRIO allows (what a
// member of a group given "rtprio" in limits.conf gets). True when granted.
// The first refusal prints one line on standard error; after it the process
// stops asking, so later calls cost nothing and return false.
bool realtimePriority();

// How the last request ended, for logs: "granted", "not permitted", ... or
// "not asked yet".
const char* realtimeState();

}  // namespace threadtiming
