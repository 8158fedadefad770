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

#include "app/AppState.h"
#include "link/DeviceLink.h"
#include "params/ParameterDialogModel.h"
#include "sim/Simulator.h"

#ifndef FS_SOURCE_DIR
#define FS_SOURCE_DIR "."
#endif

namespace {

class SilentOperator : public Operator {
public:
    void message(const std::string&, const std::string& text, MessageIcon) override {
        std::fprintf(stderr, "message: %s\n", text.c_str());
    }
    bool question(const std::string&, const std::string&) override { return false; }
    std::optional<std::string> chooseOpenFile(const FileChoice&) override { return std::nullopt; }
    std::optional<std::string> chooseSaveFile(const FileChoice&) override { return std::nullopt; }
    void ShowProgress(uint32_t* counter, uint32_t, const std::string&) override {
        if (counter) *counter = 0;
    }
    void HideProgress() override {}
};

double msSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    std::string busFile = argc > 1 ? argv[1] : FS_SOURCE_DIR "/install/demo.bus";
    uint8_t address = static_cast<uint8_t>(argc > 2 ? std::atoi(argv[2]) : 1);

    Simulator sim(false);   // real time, bytes paced like a 9600-baud wire
    sim.logging = false;
    std::string error;
    if (!sim.loadFile(busFile, error)) {
        std::fprintf(stderr, "%s: %s\n", busFile.c_str(), error.c_str());
        return 2;
    }
    SimDevice* device = sim.device(address);
    if (!device) {
        std::fprintf(stderr, "no device at address %u\n", address);
        return 2;
    }

    DeviceLink link;
    sim.attach(link);
    SilentOperator op;
    FrameState owner;
    setDeviceLink(&link);
    setOperator(&op);
    setFrame(&owner);

    if (!link.Open(1)) {
        std::fprintf(stderr, "cannot open the simulated line\n");
        return 1;
    }
    // The bus list entry the connect dialog would have found (Open empties
    // the list); a full scan of 64 addresses would only add seconds that have
    // nothing to do with stepping.
    char entry[16];
    std::snprintf(entry, sizeof entry, "%02x>", address);
    link.busList[0] = entry + device->name;
    link.busListCount = 1;
    if (!link.Select(address) || !link.ReadIdentity(true)) {
        std::fprintf(stderr, "the device does not answer\n");
        return 1;
    }

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
