// fieldsim: a simulated bus behind a pseudo-terminal. Prints the terminal's
// path on the first line of standard output; see sim/README.md.
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "sim/PtyServer.h"

namespace {

PtyServer* server = nullptr;

void onStop(int) {
    if (server) server->stop();
}

void onDump(int) {
    if (server) server->requestDump();
}

struct DumpTarget {
    std::string path;
};

void dumpState(const SimBus& bus, void* context) {
    auto* target = static_cast<DumpTarget*>(context);
    std::string temporary = target->path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << busText(bus);
        if (!out) return;
    }
    std::rename(temporary.c_str(), target->path.c_str());
}

// The simulator stands in for hardware with its own clock: it keeps its
// byte timing best at real-time priority with tight timers. Both are
// requests; without the privilege it runs as it is.
void askForPreciseTiming() {
    prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
    sched_param param{};
    param.sched_priority = sched_get_priority_max(SCHED_FIFO);
    sched_setscheduler(0, SCHED_FIFO, &param);
}

void usage() {
    std::fprintf(stderr,
                 "usage: fieldsim [--link PATH] [--exit-on-stdin-eof] [--echo] [--echo-delay US] [--pace|--no-pace]\n"
                 "                [--turnaround US] [--restart-ms MS] [--fault-seed N]\n"
                 "                [--no-answer PPM] [--broken-marks PPM] [--corrupt-ack PPM] [--drop-byte PPM]\n"
                 "                [--lose-digit-pairs PPM]\n"
                 "                [--wire-log FILE] [--timing-log FILE] [--state FILE] BUSFILE\n");
}

bool number(const char* text, unsigned long& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtoul(text, &end, 0);
    return errno == 0 && end != text && *end == 0;
}

// A symbolic link at path pointing to target; an old link there is replaced,
// anything else is left alone.
bool makeLink(const std::string& path, const std::string& target) {
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) return false;
        unlink(path.c_str());
    }
    return symlink(target.c_str(), path.c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    PtyServer::Options options;
    std::string linkPath, busPath;
    DumpTarget state;
    bool exitOnStdinEof = false;
    unsigned long restartMs = 1500;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](unsigned long& v) {
            if (i + 1 >= argc || !number(argv[i + 1], v)) {
                std::fprintf(stderr, "fieldsim: %s needs a number\n", a.c_str());
                std::exit(2);
            }
            ++i;
        };
        auto text = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "fieldsim: %s needs a value\n", a.c_str());
                std::exit(2);
            }
            return argv[++i];
        };
        unsigned long v = 0;
        if (a == "--link") linkPath = text();
        else if (a == "--exit-on-stdin-eof") exitOnStdinEof = true;
        else if (a == "--echo") options.echo = true;
        else if (a == "--echo-delay") value(v), options.echo = true, options.echoDelayNs = int64_t(v) * 1000;
        else if (a == "--pace") options.pace = true;
        else if (a == "--no-pace") options.pace = false;
        else if (a == "--turnaround") value(v), options.turnaroundNs = int64_t(v) * 1000;
        else if (a == "--restart-ms") value(restartMs);
        else if (a == "--fault-seed") value(v), options.faults.seed = uint32_t(v);
        else if (a == "--no-answer") value(v), options.faults.noAnswer = uint32_t(v);
        else if (a == "--broken-marks") value(v), options.faults.brokenMarks = uint32_t(v);
        else if (a == "--corrupt-ack") value(v), options.faults.corruptAck = uint32_t(v);
        else if (a == "--drop-byte") value(v), options.faults.dropByte = uint32_t(v);
        else if (a == "--lose-digit-pairs") value(v), options.faults.lostDigitPair = uint32_t(v);
        else if (a == "--wire-log") options.wireLogPath = text();
        else if (a == "--timing-log") options.timingLogPath = text();
        else if (a == "--state") state.path = text();
        else if (a == "--help" || a == "-h") {
            usage();
            return 0;
        } else if (!a.empty() && a[0] == '-') {
            std::fprintf(stderr, "fieldsim: unknown option %s\n", a.c_str());
            usage();
            return 2;
        } else if (busPath.empty()) busPath = a;
        else {
            usage();
            return 2;
        }
    }
    if (busPath.empty()) {
        usage();
        return 2;
    }

    SimBus bus;
    bus.restartSilenceNs = int64_t(restartMs) * 1000000;
    std::string error;
    if (!loadBusFile(busPath, bus, error)) {
        std::fprintf(stderr, "fieldsim: %s: %s\n", busPath.c_str(), error.c_str());
        return 1;
    }
    PtyServer pty(bus, options);
    if (!pty.open(error)) {
        std::fprintf(stderr, "fieldsim: %s\n", error.c_str());
        return 1;
    }
    if (!linkPath.empty() && !makeLink(linkPath, pty.path())) {
        std::fprintf(stderr, "fieldsim: cannot create the link %s\n", linkPath.c_str());
        return 1;
    }
    if (!state.path.empty()) {
        pty.dumpHook = dumpState;
        pty.dumpContext = &state;
    }

    askForPreciseTiming();
    server = &pty;
    struct sigaction sa {};
    sa.sa_handler = onStop;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    sa.sa_handler = onDump;
    sigaction(SIGUSR1, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);

    std::printf("%s\n", pty.path().c_str());
    std::fflush(stdout);

    bool ok = pty.run(exitOnStdinEof ? STDIN_FILENO : -1);
    server = nullptr;
    if (!state.path.empty()) dumpState(bus, &state);
    if (!linkPath.empty()) unlink(linkPath.c_str());
    return ok ? 0 : 1;
}
