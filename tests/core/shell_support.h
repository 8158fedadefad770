#pragma once
// Shared setup of the window-command tests without a screen: message and
// status texts that name their own number ("text 19"), and an in-process
// simulated bus behind a device link on a virtual clock.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "session/AppContext.h"
#include "link/DeviceLink.h"
#include "sim/SimBus.h"
#include "sim/SimLine.h"
#include "sim/SimWire.h"
#include "sim/VirtualClock.h"
#include "support/Support.h"
#include "texts/TextTable.h"

// Loads a table whose entry n reads "text n" for every number given.
inline void loadNumberedTexts(TextTable& table, const TempDir& dir, const std::string& name,
                              const std::vector<unsigned>& numbers) {
    std::string content;
    for (unsigned n : numbers) {
        char entry[64];
        std::snprintf(entry, sizeof entry, "%X>text %u<END>\n", n, n);
        content += entry;
    }
    dir.write(name, content);
    table.Load(dir.file(name));
}

inline std::string textOf(unsigned n) { return "text " + std::to_string(n); }

// A frame that counts its renderings.
struct CountingFrame : FrameState {
    int renders = 0;
    void RenderPanel() override { ++renders; }
};

// A device link on a simulated bus. On virtual time scans cost nothing; in
// real time every wait of the link really passes.
struct SimulatedBus {
    SimBus bus;
    SimWire wire{bus};
    std::shared_ptr<VirtualClock> clock;
    DeviceLink link;
    SimLine* line = nullptr;

    explicit SimulatedBus(bool virtualTime = true) {
        if (virtualTime) {
            clock = std::make_shared<VirtualClock>();
            link.setClock(clock);
        }
        auto transport = std::make_unique<SimLine>(wire, clock);
        line = transport.get();
        link.setTransport(std::move(transport));
    }

    SimDevice& add(uint8_t address, const std::string& name) {
        SimDevice& d = bus.addDevice(address, name);
        d.version = 1;
        d.release = 5;
        d.parameterVersion = 3;
        return d;
    }
};
