#pragma once
// The simulated bus: the devices on it and which one is selected. Control
// bytes (bit 7 set) select a device (0x80 + address, answered with the
// address) or release all (0xFF); other bytes go to the selected device.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim/SimDevice.h"

class SimBus {
public:
    // How long a device stays silent after the restart command.
    int64_t restartSilenceNs = 1500000000;

    SimDevice& addDevice(uint8_t address, const std::string& name);
    // The device answering at address now, or null.
    SimDevice* device(uint8_t address);
    const std::vector<std::unique_ptr<SimDevice>>& devices() const { return devices_; }
    SimDevice* selected() const { return selected_; }
    // The device whose answer the last receive returned (its timing is the
    // wire's business), or null.
    SimDevice* answering() const { return answering_; }

    // One byte from the master, arriving at atNs; returns the answer bytes.
    std::vector<uint8_t> receive(uint8_t byte, int64_t atNs);

private:
    std::vector<std::unique_ptr<SimDevice>> devices_;
    SimDevice* selected_ = nullptr;
    SimDevice* answering_ = nullptr;
};

// Parses a bus description (format in sim/README.md and BusFile.cpp) into
// bus. False with a message naming the line when the text is not valid.
bool parseBusText(const std::string& text, SimBus& bus, std::string& error);
bool loadBusFile(const std::string& path, SimBus& bus, std::string& error);
