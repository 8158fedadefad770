#include "platform/PortRestore.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <mutex>

namespace portrestore {

namespace {

constexpr int Slots = 32;
constexpr size_t LockPathSize = 256;
constexpr int Signals[] = {SIGTERM, SIGINT, SIGHUP};

struct Slot {
    std::atomic<bool> used{false};
    int fd = -1;
    termios saved{};
    char lockPath[LockPathSize] = {};
};

Slot slots[Slots];
std::mutex claiming;   // between threads that open ports; never in the handler

// Only async-signal-safe calls: tcflush, tcsetattr, unlink, signal,
// sigprocmask, raise. The program then ends by the signal itself, as it
// would have without us (the signal is blocked inside its handler, so it
// is let through first).
// Pending output is discarded first, so a wedged transmitter cannot hold
// the restore up.
void restoreAndEnd(int sig) {
    for (Slot& s : slots) {
        if (!s.used.load(std::memory_order_acquire)) continue;
        tcflush(s.fd, TCOFLUSH);
        tcsetattr(s.fd, TCSANOW, &s.saved);
        if (s.lockPath[0] != '\0') unlink(s.lockPath);
    }
    signal(sig, SIG_DFL);
    sigset_t self;
    sigemptyset(&self);
    sigaddset(&self, sig);
    raise(sig);
    sigprocmask(SIG_UNBLOCK, &self, nullptr);
    _exit(128 + sig);
}

void installOnce() {
    static std::once_flag installed;
    std::call_once(installed, [] {
        for (int sig : Signals) {
            struct sigaction current {};
            if (sigaction(sig, nullptr, &current) != 0 || current.sa_handler != SIG_DFL) continue;
            if (current.sa_flags & SA_SIGINFO) continue;
            struct sigaction ours {};
            ours.sa_handler = restoreAndEnd;
            sigemptyset(&ours.sa_mask);
            for (int other : Signals) sigaddset(&ours.sa_mask, other);
            sigaction(sig, &ours, nullptr);
        }
    });
}

}  // namespace

int remember(int fd, const termios& saved, const std::string& lockPath) {
    installOnce();
    std::lock_guard<std::mutex> guard(claiming);
    for (int i = 0; i < Slots; ++i) {
        Slot& s = slots[i];
        if (s.used.load(std::memory_order_acquire)) continue;
        s.fd = fd;
        s.saved = saved;
        s.lockPath[0] = '\0';
        if (lockPath.size() < LockPathSize) std::memcpy(s.lockPath, lockPath.c_str(), lockPath.size() + 1);
        s.used.store(true, std::memory_order_release);
        return i;
    }
    return -1;
}

void forget(int slot) {
    if (slot < 0 || slot >= Slots) return;
    slots[slot].used.store(false, std::memory_order_release);
}

}  // namespace portrestore
