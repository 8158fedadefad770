#pragma once
// The serial devices this machine has right now: USB adapters (ttyUSB*),
// modem-class USB devices (ttyACM*) and built-in ports (ttyS*) that have a
// UART behind them, with their stable names under /dev/serial/by-id and what
// the system knows of the hardware. Read from /dev and sysfs, no udev needed.
#include <string>
#include <vector>

// Where the scan looks; tests point both at a tree of their own.
struct SerialRoots {
    std::string dev = "/dev";
    std::string sys = "/sys";
};

struct SerialDevice {
    std::string name;                 // "ttyUSB0"
    std::string path;                 // dev root + "/ttyUSB0"
    // The /dev/serial/by-id links that lead to this device, sorted; they keep
    // their name when the adapter is plugged into another socket.
    std::vector<std::string> byId;
    // From the USB device the port belongs to; empty for built-in ports and
    // wherever sysfs has no readable file.
    std::string manufacturer;
    std::string product;
    std::string serial;
    std::string vendorId;             // "0403", as sysfs writes it
    std::string productId;

    bool usb() const { return !vendorId.empty() || !manufacturer.empty() || !product.empty(); }
    // The name to write into a configuration: the first by-id link, else the path.
    const std::string& stablePath() const { return byId.empty() ? path : byId.front(); }
};

struct SerialScan {
    SerialRoots roots;
    std::vector<SerialDevice> devices;   // sorted by kind, then number
};

// Scans the roots. Entries that are not character devices, ports without a
// device in sysfs and built-in ports without a UART are left out; a missing
// or unreadable file only leaves its field empty. Never throws.
SerialScan scanSerialDevices(const SerialRoots& roots = {});

// Index in scan.devices of the device that path names (its path or one of its
// by-id links, or a by-id link that leads to it), -1 when none does.
int findSerialDevice(const SerialScan& scan, const std::string& path);

// Whether a configured device path can be opened as a port now: a device the
// scan found, or any other character device (a pseudo-terminal, a link to
// one) outside the kinds the scan looks at. A ttyS, ttyUSB or ttyACM name, or
// a by-id link, that the scan did not find is not present.
bool serialDevicePresent(const SerialScan& scan, const std::string& path);
