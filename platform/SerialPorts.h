#pragma once
// The serial ports this machine has right now: every terminal in
// /sys/class/tty with hardware behind it (USB adapters of any driver,
// built-in and platform UARTs, Bluetooth serial links), with their stable
// names under /dev/serial/by-id and /dev/serial/by-path and what the system
// knows of the hardware. Read from /dev and sysfs, no udev needed.
#include <string>
#include <vector>

// Where the scan looks; tests point both at a tree of their own.
struct SerialRoots {
    std::string dev = "/dev";
    std::string sys = "/sys";
};

// What is behind a port, as the lists describe it.
enum class SerialKind {
    Usb,            // an adapter on USB, whatever its driver names it
    Bluetooth,      // rfcomm: a serial link to a paired Bluetooth device
    PlatformUart,   // a UART of the board (ttyAMA, ttymxc, ttyO, ...)
    BuiltIn,        // a PC's own port or a serial card (8250 family)
};

struct SerialDevice {
    std::string name;                 // "ttyUSB0"
    std::string path;                 // dev root + "/ttyUSB0"
    SerialKind kind = SerialKind::BuiltIn;
    // The /dev/serial/by-id and /dev/serial/by-path links that lead to this
    // device, sorted. A by-id name keeps its name in any USB socket; a
    // by-path name stays with the socket.
    std::vector<std::string> byId;
    std::vector<std::string> byPath;
    // Another adapter present has the same maker, model, serial number and
    // interface, so udev gives both one by-id name and the link leads to
    // whichever came last: only by-path tells them apart.
    bool byIdShared = false;
    // From the USB device the port belongs to; empty for other ports and
    // wherever sysfs has no readable file.
    std::string manufacturer;
    std::string product;
    std::string serial;
    std::string vendorId;             // "0403", as sysfs writes it
    std::string productId;
    std::string usbInterface;         // "1.0": configuration and interface
    // The device sysfs puts the port under ("fe201000.serial", "00:0a"),
    // and for a Bluetooth link the address of the far end.
    std::string hardware;

    bool usb() const { return kind == SerialKind::Usb; }
    // What an operator plugs in or pairs for the bus, as opposed to a port of
    // the machine itself.
    bool adapter() const { return kind == SerialKind::Usb || kind == SerialKind::Bluetooth; }
    // The name to write into a configuration: a by-id link that names this
    // device alone, else a by-path link, else the path.
    const std::string& stablePath() const;
};

struct SerialScan {
    SerialRoots roots;
    std::vector<SerialDevice> devices;   // adapters first, then by name and number
};

// Scans the roots. Terminals without hardware behind them (virtual consoles,
// pseudo-terminals), entries that are not character devices and UARTs whose
// port type is 0 (registered, nothing there) are left out; a missing or
// unreadable file only leaves its field empty. Never throws.
SerialScan scanSerialDevices(const SerialRoots& roots = {});
// Whether the tty of that name ("ttyS0") has hardware behind it: false only
// for a UART whose sysfs port type is 0 (a placeholder the kernel registers
// whether or not anything answers at its address).
bool ttyHasUart(const std::string& name, const SerialRoots& roots = {});

// Index in scan.devices of the device that path names (its path or one of its
// links, or a link that leads to it), -1 when none does.
int findSerialDevice(const SerialScan& scan, const std::string& path);

// What a configured device path leads to now.
enum class SerialPathState {
    Present,      // a port the scan found, or another terminal (a pty, a link to one)
    Missing,      // nothing there, or a link whose target is gone
    NoHardware,   // a serial terminal with no UART or adapter behind it
    NotSerial,    // a plain file, a folder or another kind of device
};
SerialPathState serialPathState(const SerialScan& scan, const std::string& path);

// Whether the path can be opened as a port now: serialPathState is Present.
bool serialDevicePresent(const SerialScan& scan, const std::string& path);
