// How long a bus scan takes over a pseudo-terminal: fieldsim serving the
// demo bus (three devices), paced like a 9600-baud line. An empty address
// costs a release (20 ms of listening for silence) and a select (50 ms for
// an answer that never comes), so the scan takes about 64 x 72 ms. Figures:
// addresses scanned per second, and the wall time against the wire's lower
// bound (bench::WireBound, with every unanswered select's 50 ms counted in:
// an absent device can only be told by waiting for it).
//
//   scan_time [fieldsim path] [bus file]
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "BenchTable.h"
#include "CountingTransport.h"
#include "Timing.h"
#include "WakeLatency.h"
#include "support/FieldsimProcess.h"
#include "link/DeviceLink.h"
#include "platform/TermiosPort.h"

namespace {
constexpr double AnswerWaitMs = 50.0;
}

int main(int argc, char** argv) {
    bench::WakeLatencyHold awake("scan_time");
    std::string program = argc > 1 ? argv[1] : FS_DIST_DIR "/fieldsim";
    std::string busFile = argc > 2 ? argv[2] : FS_DIST_DIR "/demo.bus";

    Child sim;
    std::string path;
    if (!startFieldsim(sim, {program, "--pace", "--turnaround", "0", busFile}, path)) {
        bench::missing("scan: addresses per s", "cannot start " + program);
        return 1;
    }
    DeviceLink link;
    auto counting = std::make_unique<bench::CountingTransport>(std::make_unique<TermiosPort>());
    bench::CountingTransport* wire = counting.get();
    link.setTransport(std::move(counting));
    link.setPortResolver([&](unsigned) { return path; });
    if (!link.Open(1)) {
        bench::missing("scan: addresses per s", "cannot open " + path);
        return 1;
    }
    wire->recording = true;
    auto start = std::chrono::steady_clock::now();
    int found = link.ScanBus();
    double seconds = bench::secondsSince(start);
    wire->recording = false;
    link.Close();

    bench::WireBound bound = bench::wireBound(wire->events, 0, 0);
    double boundSeconds = bound.seconds() + bound.unanswered * AnswerWaitMs / 1000.0;
    std::fprintf(stderr, "scan_time: %d devices found in %.2f s; wire bound %.2f s (%u unanswered selects, %u quiet "
                 "waits, %u settles, %u bytes)\n",
                 found, seconds, boundSeconds, bound.unanswered, bound.quietWaits, bound.settles, bound.bytes);
    if (found != 3) {
        bench::missing("scan: addresses per s", "found " + std::to_string(found) + " devices, not 3");
        return 1;
    }
    bench::figure("scan: addresses per s", 64 / seconds, "/s", bench::Goal::None, 0, 1);
    bench::figure("scan: wall / wire bound", seconds / boundSeconds, "x");
    return 0;
}
