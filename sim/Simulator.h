#pragma once
// The bus simulator in one object: a simulated bus, the wire to it and the
// clock it runs on, ready to plug into a SerialLink or DeviceLink.
//
// Usage in-process (tests run on virtual time and cost no real waiting):
//
//   Simulator sim;                                   // virtual clock
//   std::string error;
//   sim.load("device 5 PUMPCTRL\n version 3\n param 0100 4 1000\n", error);
//   DeviceLink link;
//   sim.attach(link);            // SimLine transport + the virtual clock
//   link.Open(1);                // the port number does not matter
//   link.ScanBus();              // 1 device: "05>PUMPCTRL"
//   sim.device(5)->parameter(0x100)->value;          // 1000
//   sim.sentBytes();             // what the master sent, from the wire log
//
// Options: sim.wire.options (byte time, turnaround, echo),
// sim.wire.setFaults(...) (seeded fault injection), sim.bus.restartSilenceNs.
// The bus file format is described in sim/README.md and sim/BusFile.cpp.
#include <memory>
#include <string>
#include <vector>

#include "link/SerialLink.h"
#include "sim/FaultLine.h"
#include "sim/SimBus.h"
#include "sim/SimLine.h"
#include "sim/SimWire.h"
#include "sim/VirtualClock.h"

class Simulator {
public:
    // virtualTime false: the line waits in real time on the monotonic clock.
    explicit Simulator(bool virtualTime = true);
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    SimBus bus;
    SimWire wire{bus};
    std::shared_ptr<VirtualClock> clock;     // null in real time
    std::vector<WireLogEntry> log;           // every byte on the wire
    bool logging = true;

    bool load(const std::string& busText, std::string& error);
    bool loadFile(const std::string& path, std::string& error);

    // A new line to the bus (owned by the caller).
    std::unique_ptr<SimLine> makeLine();
    // Gives link a line to this bus and the simulator's clock; returns the
    // line, which the link owns.
    SimLine* attach(SerialLink& link);

    SimDevice* device(uint8_t address) { return bus.device(address); }
    void clearLog() { log.clear(); }
    std::vector<uint8_t> sentBytes() const;     // master to bus
    std::vector<uint8_t> answerBytes() const;   // bus to master
    // The log as text, one byte per line: "> 85" sent, "< 05" received
    // ("< 05 parity", "< 05 framing" when marked).
    std::string logText() const;
};
