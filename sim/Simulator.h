#pragma once
// The bus simulator in one object: a simulated bus, the wire to it and the
// clock it runs on. makeLine() gives the master's end of the wire (a
// ByteTransport); a master on the virtual clock uses sim.clock as well.
//
// Usage in-process (tests run on virtual time and cost no real waiting):
//
//   Simulator sim;                                   // virtual clock
//   std::string error;
//   sim.load("device 5 PUMPCTRL\n version 3\n param 0100 4 1000\n", error);
//   DeviceLink link;
//   link.setTransport(sim.makeLine());   // tests: attachSim(sim, link)
//   link.setClock(sim.clock);            //   (tests/support/SimAttach.h)
//   link.Open(1);                // the port number does not matter
//   link.ScanBus();              // 1 device: "05>PUMPCTRL"
//   sim.device(5)->parameter(0x100)->value;          // 1000
//   sim.sentBytes();             // what the master sent, from the wire log
//
// Options: sim.wire.options (byte time, turnaround, echo and its delay),
// sim.wire.setFaults(...) (seeded fault injection), sim.bus.restartSilenceNs.
// Each device's own answer forms and timing are fields of SimDevice.
// The bus file format is described in sim/README.md and sim/BusFile.cpp.
#include <memory>
#include <string>
#include <vector>

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

    // A new line to the bus (owned by the caller), on the simulator's clock.
    std::unique_ptr<SimLine> makeLine();

    SimDevice* device(uint8_t address) { return bus.device(address); }
    void clearLog() { log.clear(); }
    std::vector<uint8_t> sentBytes() const;     // master to bus
    std::vector<uint8_t> answerBytes() const;   // bus to master
    // The log as text, one byte per line: "> 85" sent, "< 05" received
    // ("< 05 parity", "< 05 framing" when marked).
    std::string logText() const;
};
