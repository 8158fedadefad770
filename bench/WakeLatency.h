#pragma once
// Keeps idle CPUs ready to run while a wire-timed benchmark measures. On a
// virtual machine an idle CPU is handed back to the host, and waking it for
// the next byte costs a tenth of a millisecond or more: over ten thousand
// bytes that is a second the wire never asked for, and it is the machine's,
// not the program's. The kernel's latency request (what real-time latency
// tools hold while they measure) keeps the CPUs polling instead, for as long
// as the request is held. Without the right to make it (not root), the
// figures include those wake-ups; the benchmark says so on its log.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>

namespace bench {

class WakeLatencyHold {
public:
    explicit WakeLatencyHold(const char* who) {
        fd_ = ::open("/dev/cpu_dma_latency", O_WRONLY | O_CLOEXEC);
        int32_t none = 0;
        if (fd_ >= 0 && ::write(fd_, &none, sizeof none) != sizeof none) {
            ::close(fd_);
            fd_ = -1;
        }
        std::fprintf(stderr, "%s: %s\n", who,
                     fd_ >= 0 ? "idle CPUs kept awake while measuring"
                              : "could not keep idle CPUs awake; CPU wake-ups count in the figures");
    }
    ~WakeLatencyHold() {
        if (fd_ >= 0) ::close(fd_);
    }
    WakeLatencyHold(const WakeLatencyHold&) = delete;
    WakeLatencyHold& operator=(const WakeLatencyHold&) = delete;

private:
    int fd_ = -1;
};

}  // namespace bench
