#pragma once
// One device of a bus file on the in-process simulator in real time, its
// bytes paced like a 9600-baud wire: selected and identified as Connect
// leaves it, with a silent operator and a frame installed. The line goes
// through a CountingTransport, so a bench can set wire->recording and build
// the wire's lower bound of what it measured.
//
//   bench::PacedSession s;
//   if (!s.start(argc, argv)) return 1;     // [bus file] [address]
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "CountingTransport.h"
#include "session/AppContext.h"
#include "link/DeviceLink.h"
#include "sim/Simulator.h"

#ifndef FS_SOURCE_DIR
#define FS_SOURCE_DIR "."
#endif

namespace bench {

// Prints every message on stderr and counts them: `shown` the warnings and
// failures, `results` the information a command ends with ("Loaded ...");
// questions get `answer`, both file choosers `chosenFile`.
class SilentOperator : public Operator {
public:
    unsigned shown = 0;
    unsigned results = 0;
    bool answer = false;
    std::optional<std::string> chosenFile;
    void message(const std::string&, const std::string& text, MessageIcon icon) override {
        ++(icon == MessageIcon::Information ? results : shown);
        std::fprintf(stderr, "message: %s\n", text.c_str());
    }
    bool question(const std::string&, const std::string&) override { return answer; }
    std::optional<std::string> chooseOpenFile(const FileChoice&) override { return chosenFile; }
    std::optional<std::string> chooseSaveFile(const FileChoice&) override { return chosenFile; }
    void ShowProgress(uint32_t* counter, uint32_t, const std::string&) override {
        if (counter) *counter = 0;
    }
    void HideProgress() override {}
};

struct PacedSession {
    Simulator sim{false};   // real time
    DeviceLink link;
    SilentOperator op;
    FrameState owner;
    AppContext ctx{link, &op};
    SimDevice* device = nullptr;
    CountingTransport* wire = nullptr;
    uint8_t address = 1;

    // Loads the bus file (argv[1], default the demo bus), and selects and
    // identifies the device at argv[2] (default 1). False after saying why.
    bool start(int argc, char** argv) {
        std::string busFile = argc > 1 ? argv[1] : FS_SOURCE_DIR "/install/demo.bus";
        address = static_cast<uint8_t>(argc > 2 ? std::atoi(argv[2]) : 1);
        sim.logging = false;
        std::string error;
        if (!sim.loadFile(busFile, error)) {
            std::fprintf(stderr, "%s: %s\n", busFile.c_str(), error.c_str());
            return false;
        }
        device = sim.device(address);
        if (!device) {
            std::fprintf(stderr, "no device at address %u\n", address);
            return false;
        }
        auto counting = std::make_unique<CountingTransport>(sim.makeLine());
        wire = counting.get();
        link.setTransport(std::move(counting));
        ctx.attachWindow(&op, &owner);
        if (!link.Open(1)) {
            std::fprintf(stderr, "cannot open the simulated line\n");
            return false;
        }
        // The bus list entry a scan would have found (Open empties the list);
        // a full scan of 64 addresses would only add seconds not measured here.
        char entry[16];
        std::snprintf(entry, sizeof entry, "%02x>", address);
        link.busList[0] = entry + device->name;
        link.busListCount = 1;
        if (!link.Select(address) || !link.ReadIdentity(true)) {
            std::fprintf(stderr, "the device does not answer\n");
            return false;
        }
        return true;
    }
};

}  // namespace bench
