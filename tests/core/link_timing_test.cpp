// The link's timed waits: the clock watch before a deadline, the port's
// byte waits that end it the same way, and the real-time request with its
// one notice.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "link/DeviceLink.h"
#include "platform/Clock.h"
#include "platform/TermiosPort.h"
#include "platform/ThreadTiming.h"
#include "sim/FaultLine.h"
#include "sim/PtyServer.h"

namespace {

// A fault line that remembers the clock watch it was given.
class WatchedLine : public FaultLine {
public:
    explicit WatchedLine(std::shared_ptr<VirtualClock> clock) : FaultLine(std::move(clock)) {}
    void setClockWatch(uint32_t micros) override { watch = int64_t(micros); }
    int64_t watch = -1;
};

// A silent line on a pseudo-terminal: a simulated bus without devices.
struct SilentTerminal {
    SimBus bus;
    std::unique_ptr<PtyServer> server;
    std::thread thread;
    std::string error;

    SilentTerminal() {
        server = std::make_unique<PtyServer>(bus, PtyServer::Options{});
        if (server->open(error)) thread = std::thread([this] { server->run(); });
    }
    ~SilentTerminal() {
        if (thread.joinable()) {
            server->stop();
            thread.join();
        }
    }
};

}  // namespace

TEST(LinkTiming, MonotonicWaitEndsPastTheTickWhateverTheWatch) {
    auto clock = monotonicClock();
    int64_t t = 0;
    // No watch, a watch shorter than the wait, one longer than the whole wait.
    for (uint32_t watch : {0u, 200u, 5000u}) {
        ASSERT_TRUE(clock->now(t));
        int64_t deadline = t + 3000000;
        clock->waitUntil(deadline, watch);
        ASSERT_TRUE(clock->now(t));
        EXPECT_GT(t, deadline) << "watch " << watch;
    }
    // A tick already behind ends the wait at once.
    ASSERT_TRUE(clock->now(t));
    clock->waitUntil(t - 1000000, 200);
    int64_t after = 0;
    ASSERT_TRUE(clock->now(after));
    EXPECT_GE(after, t);
}

// The quiet-line wait never ends before its 20 ms, neither with a watch
// shorter than the wait nor with one longer than all of it.
TEST(LinkTiming, TermiosQuietWaitEndsNoEarlierThanItsTimeout) {
    SilentTerminal pty;
    ASSERT_EQ(pty.error, "");
    for (uint32_t watch : {0u, 200u, 50000u}) {
        TermiosPort port;
        port.setClockWatch(watch);
        ASSERT_TRUE(port.open(pty.server->path()));
        uint8_t byte = 0;
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(port.readByte(20, byte), ByteTransport::ReadStatus::Timeout) << "watch " << watch;
        EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(20)) << "watch " << watch;
        EXPECT_TRUE(port.close());
    }
}

// Without the right to it (not root, no RLIMIT_RTPRIO) the request is
// refused, said once on standard error, and not made again. Run in a child
// process: the refusal is remembered per process.
TEST(LinkTiming, RealtimeRefusalIsToldOnce) {
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        rlimit none{0, 0};
        setrlimit(RLIMIT_RTPRIO, &none);
        // Root gives up its privileges (every capability goes with them).
        if (geteuid() == 0 && (setresgid(65534, 65534, 65534) != 0 || setresuid(65534, 65534, 65534) != 0))
            _exit(10);
        dup2(out[1], 2);
        close(out[0]);
        bool granted = false;
        for (int i = 0; i < 2; ++i) {
            std::thread t([&] { granted = threadtiming::realtimePriority() || granted; });
            t.join();
        }
        std::string state = threadtiming::realtimeState();
        _exit(granted ? 11 : state == "not permitted" ? 0 : 12);
    }
    close(out[1]);
    std::string text;
    char buffer[256];
    ssize_t n;
    while ((n = read(out[0], buffer, sizeof buffer)) > 0) text.append(buffer, size_t(n));
    close(out[0]);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(text,
              "fieldservice: no real-time priority for the serial link (not permitted); bus timing may stretch "
              "under load\n");
}
