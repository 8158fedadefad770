// Steps through the parameter table of a device one arrow click at a time, as
// the parameter dialog does, over the in-process bus simulator in real time
// with 9600-baud byte pacing. Figures: clicks per second, and the stepping's
// wall time against the wire's lower bound (bench::WireBound); the time per
// click and the longest single search go to standard error.
//
//   params_stepping [bus file] [address]     (default: install/demo.bus, 1)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "BenchTable.h"
#include "PacedSession.h"
#include "WakeLatency.h"
#include "params/ParameterDialogModel.h"

namespace {

double msSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    bench::WakeLatencyHold awake("params_stepping");
    bench::PacedSession session;
    if (!session.start(argc, argv)) return 1;
    SimDevice* device = session.device;
    FrameState& owner = session.owner;

    auto start = std::chrono::steady_clock::now();
    ParameterDialogModel dialog(session.ctx, 0);
    if (!dialog.open()) {
        std::fprintf(stderr, "the dialog did not open\n");
        return 1;
    }
    double openingMs = msSince(start);

    std::vector<double> clicks;
    double longestMs = 0;
    unsigned longestReads = 0;
    uint32_t longestFrom = 0;
    unsigned shown = 1;
    session.wire->recording = true;
    auto total = std::chrono::steady_clock::now();
    // One click per parameter; the table end stops the number from moving.
    for (;;) {
        uint32_t before = owner.currentParameterNumber;
        unsigned readsBefore = device->reads;
        auto click = std::chrono::steady_clock::now();
        dialog.spinUp();
        double ms = msSince(click);
        if (dialog.view().closed) {
            std::fprintf(stderr, "the dialog closed at %04x\n", before);
            return 1;
        }
        clicks.push_back(ms);
        unsigned reads = device->reads - readsBefore;
        if (ms > longestMs) {
            longestMs = ms;
            longestReads = reads;
            longestFrom = before;
        }
        if (!dialog.parameterShown() || owner.currentParameterNumber == before) break;
        ++shown;
    }
    double totalMs = msSince(total);
    session.wire->recording = false;
    bench::WireBound bound = bench::wireBound(session.wire->events, 0, 0);

    std::vector<double> sorted = clicks;
    std::sort(sorted.begin(), sorted.end());
    std::fprintf(stderr, "params_stepping: %u parameters shown, %zu clicks; opening %.1f ms\n", shown, clicks.size(),
                 openingMs);
    std::fprintf(stderr, "  per click: median %.1f ms, mean %.1f ms, max %.1f ms; total %.2f s, wire bound %.2f s\n",
                 sorted[sorted.size() / 2], totalMs / double(clicks.size()), sorted.back(), totalMs / 1000.0,
                 bound.seconds());
    std::fprintf(stderr, "  longest search: %.1f ms, %u reads, from %04x\n", longestMs, longestReads, longestFrom);
    bench::figure("stepping: parameter clicks per s", double(clicks.size()) / (totalMs / 1000.0), "/s",
                  bench::Goal::None, 0, 1);
    bench::figure("stepping: wall / wire bound", totalMs / 1000.0 / bound.seconds(), "x");
    return 0;
}
