#pragma once
// The way to a port server: its name looked up within a bound of its own,
// then every address it has tried in turn until one takes the connection,
// all within the connection's bound.
#include <cstdint>
#include <string>

#include "platform/NetworkAddress.h"

struct Connected {
    int fd = -1;                    // non-blocking, Nagle off, keepalive on; -1 when none took it
    PortProblem problem = PortProblem::None;
    std::string detail;             // the addresses tried, or the resolver's word
    std::string peer;               // the numeric address that took it
};

Connected connectToServer(const NetworkAddress& address, uint32_t lookupBoundMs, uint32_t connectBoundMs);

// The kernel's smoothed round trip of a connected socket in microseconds, 0 when unknown.
uint32_t kernelRoundTripUs(int fd);

int64_t monotonicMs();
