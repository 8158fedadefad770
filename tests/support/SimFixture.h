#pragma once
// A device link wired to the in-process bus simulator, in a couple of lines.
// The link runs on the simulator's virtual clock: scans, restarts and the
// 10 s handshakes cost no real time.
//
//   SimFixture sim;                        // the demo bus (install/demo.bus)
//   ASSERT_TRUE(sim.connect(1));           // Open, ScanBus, Select(1), ReadIdentity(true)
//   DeviceLink& link = sim.link;           // with its own context: sim.ctx
//   link.OpenParameterAccess(true);
//   sim.param(1, 0x0100);                  // the device's value of parameter 0x0100
//
//   SimFixture two(SimFixture::fromText,
//       "device 3 VALVE\n version 2\n param 0100 2 7\n param 0102 onoff on\n");
//   two.sim.wire.setFaults({.seed = 7, .noAnswer = 100000});   // 10 % of answers lost
//   two.sim.sentBytes();                   // every byte the master sent
//
// The fixture's context (ctx) has a RecordingOperator (op) as its operator
// and a plain FrameState (frame) as its window flags; commands under test
// take it. connect() sets frame.deviceSelected like the Connect command.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "session/AppContext.h"
#include "link/DeviceLink.h"
#include "sim/Simulator.h"
#include "support/Support.h"

// The demo bus shipped with the program.
#ifdef FS_SOURCE_DIR
inline std::string demoBusPath() { return FS_SOURCE_DIR "/install/demo.bus"; }
#endif
// A bus text without its count and wander statements: its values stand still.
std::string stillBusText(const std::string& busText);

class SimFixture {
public:
    struct FromText {};
    static constexpr FromText fromText{};

#ifdef FS_SOURCE_DIR
    // The demo bus (install/demo.bus of the source tree).
    SimFixture() : SimFixture(demoBusPath()) {}
#endif
    // A bus read from a file.
    explicit SimFixture(const std::string& busFilePath);
    // A bus described in text (the same format as a .bus file).
    SimFixture(FromText, const std::string& busText);
    SimFixture(const SimFixture&) = delete;
    SimFixture& operator=(const SimFixture&) = delete;

    Simulator sim;
    DeviceLink link;
    RecordingOperator op;
    FrameState frame;
    AppContext ctx{link, &op};
    SimLine* line = nullptr;    // owned by link; its port faults can be set
    std::string error;          // why the bus text was refused (then the bus is empty)

    // Every counter and measurement of the bus held still: for the tests
    // that compare what was read with what the device holds afterwards.
    void holdStill();
    // Open (unless open), ScanBus, Select(address), ReadIdentity(true); true
    // when all succeeded. Sets frame.deviceSelected.
    bool connect(uint8_t address);
    // The device at address (current address), or null.
    SimDevice* device(uint8_t address) { return sim.device(address); }
    // A parameter's value in the device; nothing when the device or the
    // parameter does not exist.
    std::optional<uint32_t> param(uint8_t address, uint32_t key);
    // Accepted writes of the device at address (all keys, or one key).
    unsigned writes(uint8_t address);
    unsigned writes(uint8_t address, uint32_t key);
    // Seeded fault injection on the wire; faultsOff() stops it.
    void faults(const FaultOptions& options) { sim.wire.setFaults(options); }
    void faultsOff() { sim.wire.setFaults(FaultOptions{}); }
    // Real time spent so far on the virtual clock, in milliseconds.
    double virtualMs() const { return double(sim.clock->nowNs()) / 1e6; }

private:
    void install();
};
