// Steps through the parameter table of a device one arrow click at a time, as
// the parameter dialog does, over the in-process bus simulator in real time
// with 9600-baud byte pacing. Prints the time per click, the total and the
// longest single search.
//
//   params_stepping [bus file] [address]     (default: install/demo.bus, 1)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "PacedSession.h"
#include "params/ParameterDialogModel.h"

namespace {

double msSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    bench::PacedSession session;
    if (!session.start(argc, argv)) return 1;
    SimDevice* device = session.device;
    FrameState& owner = session.owner;

    auto start = std::chrono::steady_clock::now();
    ParameterDialogModel dialog(0);
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

    std::vector<double> sorted = clicks;
    std::sort(sorted.begin(), sorted.end());
    std::printf("parameters shown: %u, clicks: %zu\n", shown, clicks.size());
    std::printf("opening: %.1f ms\n", openingMs);
    std::printf("per click: median %.1f ms, mean %.1f ms, max %.1f ms\n", sorted[sorted.size() / 2],
                totalMs / double(clicks.size()), sorted.back());
    std::printf("total stepping: %.2f s\n", totalMs / 1000.0);
    std::printf("longest search: %.1f ms, %u reads, from %04x\n", longestMs, longestReads, longestFrom);
    return 0;
}
