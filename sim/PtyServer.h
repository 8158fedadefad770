#pragma once
// Serves a simulated bus on a pseudo-terminal: whatever opens the terminal
// talks to the devices as over a serial line. Used by fieldsim and by tests
// that drive the real termios port (run() on a thread of their own).
//
//   SimBus bus; parseBusText(text, bus, error);
//   PtyServer server(bus, PtyServer::Options{});
//   server.open(error);                  // server.path(): "/dev/pts/7"
//   std::thread t([&] { server.run(); });
//   ... open server.path() with a TermiosPort ...
//   server.stop(); t.join();
#include <atomic>
#include <cstdio>
#include <string>

#include "sim/SimBus.h"
#include "sim/SimWire.h"

class PtyServer {
public:
    struct Options {
        bool echo = false;
        int64_t echoDelayNs = 0;        // the echo arrives this late
        bool pace = true;               // 1.146 ms per byte, as at 9600 baud
        int64_t turnaroundNs = 0;
        FaultOptions faults;
        std::string wireLogPath;        // empty: no log
        // Per transaction, a line "<request ns> <answer ns> <first byte>":
        // when the request's first byte was read off the terminal, when the
        // answer's last byte was written to it (-1: no answer), on the
        // monotonic clock, and the request's first byte in hex (a release,
        // ff, follows a longer wait than other requests). The master's own time between transactions is
        // measured from it without the simulator's lateness. Empty: none.
        std::string timingLogPath;
    };

    PtyServer(SimBus& bus, Options options);
    ~PtyServer();
    PtyServer(const PtyServer&) = delete;
    PtyServer& operator=(const PtyServer&) = delete;

    // Creates the terminal; false with a reason.
    bool open(std::string& error);
    const std::string& path() const { return path_; }

    // Serves until stop(), or until watchFd (say standard input) reaches its
    // end when one is given. Returns false when the terminal failed.
    bool run(int watchFd = -1);
    // Ends run(); safe from a signal handler and from any thread.
    void stop();
    // Asks run() to call the dump hook at its next turn (signal-safe).
    void requestDump();
    // Called by run() after requestDump(), on run()'s thread.
    void (*dumpHook)(const SimBus&, void* context) = nullptr;
    void* dumpContext = nullptr;

    // Bytes served so far (received from the terminal, sent to it).
    uint64_t received() const { return received_.load(); }
    uint64_t sent() const { return sent_.load(); }

private:
    void writeDue(int64_t nowNs);
    void logByte(const WireLogEntry& e);
    // A request's first byte came at atNs: the transaction before it is complete.
    void requestStarted(int64_t atNs, uint8_t first);

    SimBus& bus_;
    Options options_;
    SimWire wire_;
    int master_ = -1;
    int slave_ = -1;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    std::string path_;
    FILE* log_ = nullptr;
    FILE* timing_ = nullptr;
    int64_t requestNs_ = -1;      // the transaction under way: its request's first byte
    int64_t answeredNs_ = -1;     // and its answer's last byte so far
    uint8_t requestByte_ = 0;     // and its first byte
    int64_t startNs_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> dumpWanted_{false};
    std::atomic<uint64_t> received_{0};
    std::atomic<uint64_t> sent_{0};
};

// The bus as a bus file: its devices with their present values (writes
// made over the bus included; counters as far as they have counted,
// wandering values at their base) and their live, limit and fault
// statements, so that it loads again as the same bus.
std::string busText(const SimBus& bus);
