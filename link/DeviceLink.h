#pragma once
// The single device object: the serial link plus the connection to one device
// and its identity (the device image). This header fixes the operations the
// rest of the program uses; the link's internals live in SerialLink.h and the
// .cpp files beside it.

#include <array>
#include <atomic>
#include <cstdint>
#include <string>

#include "link/SerialLink.h"

// A device name without the blanks (or NULs) a device pads it with to its
// eight characters.
std::string trimmedDeviceName(std::string name);

class DeviceLink : public SerialLink {
public:
    DeviceLink();
    ~DeviceLink() override;

    // Overrides: Open clears the bus list first; Select records the selected
    // address and resets the end key; Deselect clears the selected address first.
    int Open(unsigned port) override;
    int Select(uint8_t address) override;
    int Deselect() override;

    // Typed operations (window thread).
    // Outcome byte: 0 failed, 1 value (or short answer 0/1), 2 end marker 0xD, 3 gap marker 0xE.
    uint8_t ReadRegisterRetry(uint32_t key, uint32_t& out);
    uint32_t WriteRegisterRetry(uint32_t key, uint32_t value, bool digit = false);
    int OpenParameterAccess(bool alsoRegister68);
    int RestartAndWait();
    int WriteAddress(uint32_t address);
    int WritePassword(uint32_t value);

    // Connection (bus scan and identity).
    // Stops early, keeping the devices found so far, when scanStop is set
    // while it runs: it is read after each address, so the address being
    // asked is finished first. The scan clears it as it starts and ends, and
    // says in scanStopped whether it was stopped.
    int ScanBus();
    int ReadIdentity(bool readAll);
    std::string BusEntry(unsigned index) const;      // empty when invalid
    std::string BusEntryName(unsigned index) const;
    uint8_t BusEntryAddress(unsigned index) const;
    unsigned FindBusEntry(uint8_t address) const;
    uint8_t BusListCount() const { return busListCount; }

    // Identity accessors: the field when connected, else -1 (address: 0; name: empty).
    int32_t Version() const;
    int32_t Release() const;
    int32_t ParameterVersion() const;
    int32_t Register40() const;
    int32_t Register44() const;
    int32_t Password() const;
    uint8_t Address() const;
    std::string Name() const;

    // Fields other Parts read and write directly.
    int32_t connected = 0;
    int32_t parameterAccess = 0;
    std::string deviceName;
    uint8_t selectedAddress = 0;
    uint32_t version = 0;
    uint32_t release = 0;
    uint32_t parameterVersion = 0;
    int32_t register40 = -1;
    int32_t register44 = -1;
    uint32_t password = 0;
    uint8_t busListCount = 0;
    std::array<std::string, 32> busList;
    uint32_t endKey = 0x7F7E;
    uint32_t progressCounter = 0;
    // Set by whoever shows the scan (any thread) to end it after the address
    // being asked; one address takes at most a select and eight reads.
    std::atomic<bool> scanStop{false};
    bool scanStopped = false;

private:
    class RequestScope;
};
