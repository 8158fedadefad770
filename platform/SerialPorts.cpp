#include "platform/SerialPorts.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>

namespace fs = std::filesystem;

namespace {

// Names that drivers give serial ports. A configured path with one of these
// names that the scan did not find has nothing behind it, wherever the
// configuration puts the node (the scan itself takes any name sysfs lists).
constexpr const char* kSerialPrefixes[] = {"ttyS",   "ttyUSB",  "ttyACM", "ttyAMA",   "ttySC",
                                           "ttymxc", "ttyO",    "ttySAC", "ttyTHS",   "ttyLP",
                                           "rfcomm", "ttyXRUSB", "ttyCH343USB", "ttyMXUSB"};

// USB devices hang a few levels above the tty: ttyUSB0 -> interface 1-2:1.0
// -> device 1-2. More than this is not a USB device any more.
constexpr int kMaxLevelsUp = 6;

bool allDigits(const std::string& s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "ttyUSB12" -> "ttyUSB" and 12; a name without a number ends in no digits.
void splitName(const std::string& name, std::string& prefix, unsigned long& number) {
    size_t end = name.size();
    while (end > 0 && name[end - 1] >= '0' && name[end - 1] <= '9') --end;
    prefix = name.substr(0, end);
    const std::string digits = name.substr(end);
    number = (allDigits(digits) && digits.size() <= 9) ? std::stoul(digits) : 0;
}

bool hasSerialPrefix(const std::string& name) {
    std::string prefix;
    unsigned long number = 0;
    splitName(name, prefix, number);
    if (prefix.size() == name.size()) return false;
    return std::any_of(std::begin(kSerialPrefixes), std::end(kSerialPrefixes),
                       [&](const char* p) { return prefix == p; });
}

// Virtual consoles (tty, tty0..tty63, console), the pseudo-terminal
// multiplexer and the old BSD pseudo-terminals (ptyp0, ttyp0). sysfs gives
// none of them a device, but a name is a cheaper and surer test.
bool isVirtualName(const std::string& name) {
    if (name == "tty" || name == "console" || name == "ptmx") return true;
    if (name.rfind("tty", 0) == 0 && allDigits(name.substr(3))) return true;
    if (name.rfind("pty", 0) == 0) return true;
    if (name.size() == 5 && name.rfind("tty", 0) == 0) {
        const char series = name[3], index = name[4];
        const bool bsdSeries = (series >= 'p' && series <= 'z') || (series >= 'a' && series <= 'e');
        const bool hexIndex = (index >= '0' && index <= '9') || (index >= 'a' && index <= 'f');
        return bsdSeries && hexIndex;
    }
    return false;
}

// Follows links; false for a missing entry, a plain file, a directory or a
// dangling link.
bool isCharacterDevice(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
}

bool exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

// The first line of a sysfs attribute without its line end; empty when the
// file is missing, unreadable or not a file.
std::string readAttribute(const fs::path& file) {
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) return {};
    std::ifstream in(file);
    std::string line;
    if (!in || !std::getline(in, line)) return {};
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
        line.pop_back();
    return line;
}

// The last component of where a sysfs link leads ("serial8250" for a
// driver link), empty when there is no such link.
std::string linkName(const fs::path& link) {
    std::error_code ec;
    const fs::path target = fs::read_symlink(link, ec);
    return ec ? std::string() : target.filename().string();
}

// A UART has hardware behind it when its port type is not 0 (PORT_UNKNOWN):
// the kernel registers ttyS0 to ttyS31 whether or not anything answers at
// their addresses, and only the type tells them apart. The driver link is no
// help, as placeholders and real UARTs share it. When the type cannot be
// read the port is kept: offering one port too many is better than hiding
// the one the bus is on. Terminals that are no UART have no type at all.
bool hasUart(const fs::path& classDir) {
    const std::string type = readAttribute(classDir / "type");
    if (type.empty()) return true;
    try {
        return std::stol(type) != 0;
    } catch (...) {
        return true;
    }
}

bool isInside(const fs::path& path, const fs::path& root) {
    auto r = root.begin();
    for (auto p = path.begin(); r != root.end(); ++p, ++r)
        if (p == path.end() || *p != *r) return false;
    return true;
}

// Walks up from the tty's device directory to the USB device that holds
// idVendor and fills in what it says; false for a port not on USB.
bool readUsbIdentity(const fs::path& deviceDir, const fs::path& sysRoot, SerialDevice& device) {
    std::error_code ec;
    fs::path dir = deviceDir;
    std::string below;   // the directory the walk came from: the interface
    for (int level = 0; level <= kMaxLevelsUp && isInside(dir, sysRoot) && dir != sysRoot; ++level) {
        if (fs::exists(dir / "idVendor", ec)) {
            device.vendorId = readAttribute(dir / "idVendor");
            device.productId = readAttribute(dir / "idProduct");
            device.manufacturer = readAttribute(dir / "manufacturer");
            device.product = readAttribute(dir / "product");
            device.serial = readAttribute(dir / "serial");
            const size_t colon = below.find(':');
            if (colon != std::string::npos) device.usbInterface = below.substr(colon + 1);
            device.hardware = dir.filename().string();
            return true;
        }
        below = dir.filename().string();
        dir = dir.parent_path();
    }
    return false;
}

// A port that is not on USB: which device holds it and of what kind that is.
// Newer kernels put a port and controller device of the serial core
// ("serial8250:0.0", "serial8250:0") between the tty and the hardware.
void readPortHardware(fs::path dir, SerialDevice& device) {
    for (int level = 0; level < 3 && linkName(dir / "subsystem") == "serial-base"; ++level)
        dir = dir.parent_path();
    const std::string subsystem = linkName(dir / "subsystem");
    const std::string driver = linkName(dir / "driver");
    device.hardware = dir.filename().string();
    const bool boardDevice = subsystem == "platform" || subsystem == "amba";
    device.kind = (boardDevice && driver != "serial8250") ? SerialKind::PlatformUart : SerialKind::BuiltIn;
}

// Where a link leads, taken one step and without touching the target: udev
// writes "../../ttyUSB0", which names the device whatever root the scan has.
// Following the whole chain would end in the device node itself, where two
// names of one node can no longer be told apart.
std::string linkTarget(const fs::path& link) {
    std::error_code ec;
    fs::path target = fs::read_symlink(link, ec);
    if (ec) return {};
    if (target.is_relative()) target = link.parent_path() / target;
    return target.lexically_normal().string();
}

// The links of one /dev/serial folder onto the devices they lead to. A link
// whose target is gone, or that leads elsewhere, names no device of the
// list and is skipped.
void collectLinks(const fs::path& folder, std::vector<SerialDevice>& devices,
                  std::vector<std::string> SerialDevice::*links) {
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        std::error_code linkError;
        if (!it->is_symlink(linkError)) continue;
        const std::string target = linkTarget(it->path());
        for (SerialDevice& device : devices)
            if (device.path == target) (device.*links).push_back(it->path().lexically_normal().string());
    }
    for (SerialDevice& device : devices) std::sort((device.*links).begin(), (device.*links).end());
}

// Adapters first (they are what an operator plugs in for the bus), then the
// machine's own ports; ttyUSB before other names of a kind, then by number.
bool listedBefore(const SerialDevice& a, const SerialDevice& b) {
    if (a.kind != b.kind) return a.kind < b.kind;
    std::string prefixA, prefixB;
    unsigned long numberA = 0, numberB = 0;
    splitName(a.name, prefixA, numberA);
    splitName(b.name, prefixB, numberB);
    const bool usbA = prefixA == "ttyUSB", usbB = prefixB == "ttyUSB";
    if (usbA != usbB) return usbA;
    if (prefixA != prefixB) return prefixA < prefixB;
    return numberA != numberB ? numberA < numberB : a.name < b.name;
}

std::string devicePath(const SerialRoots& roots, const std::string& name) {
    return (fs::path(roots.dev) / name).lexically_normal().string();
}

}  // namespace

const std::string& SerialDevice::stablePath() const {
    if (!byId.empty() && !byIdShared) return byId.front();
    if (!byPath.empty()) return byPath.front();
    return byId.empty() ? path : byId.front();
}

bool ttyHasUart(const std::string& name, const SerialRoots& roots) {
    return hasUart(fs::path(roots.sys) / "class" / "tty" / name);
}

SerialScan scanSerialDevices(const SerialRoots& roots) {
    SerialScan scan;
    scan.roots = roots;
    std::error_code ec;
    const fs::path sysRoot = fs::weakly_canonical(roots.sys, ec);
    const fs::path classRoot = fs::path(roots.sys) / "class" / "tty";
    fs::directory_iterator it(classRoot, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (isVirtualName(name)) continue;
        const fs::path classDir = it->path();
        SerialDevice device;
        device.name = name;
        device.path = devicePath(roots, name);
        if (!isCharacterDevice(device.path)) continue;
        std::error_code sysError;
        const fs::path deviceDir = fs::canonical(classDir / "device", sysError);
        if (name.rfind("rfcomm", 0) == 0) {
            // A bound link sits among the virtual terminals until it connects,
            // which opening it does.
            device.kind = SerialKind::Bluetooth;
            device.hardware = readAttribute(classDir / "address");
        } else if (sysError) {
            // No device behind it: a virtual terminal, or a port unplugged
            // between the two reads.
            continue;
        } else if (!hasUart(classDir)) {
            continue;
        } else if (readUsbIdentity(deviceDir, sysRoot, device)) {
            device.kind = SerialKind::Usb;
        } else {
            readPortHardware(deviceDir, device);
        }
        scan.devices.push_back(std::move(device));
    }
    std::sort(scan.devices.begin(), scan.devices.end(), listedBefore);

    collectLinks(fs::path(roots.dev) / "serial" / "by-id", scan.devices, &SerialDevice::byId);
    collectLinks(fs::path(roots.dev) / "serial" / "by-path", scan.devices, &SerialDevice::byPath);

    // Adapters without a serial number of their own, or with a maker's
    // default one, look alike to udev.
    std::map<std::string, int> alike;
    auto identity = [](const SerialDevice& d) {
        return d.vendorId + "|" + d.productId + "|" + d.serial + "|" + d.usbInterface;
    };
    for (const SerialDevice& device : scan.devices)
        if (device.usb()) ++alike[identity(device)];
    for (SerialDevice& device : scan.devices)
        device.byIdShared = device.usb() && alike[identity(device)] > 1;
    return scan;
}

int findSerialDevice(const SerialScan& scan, const std::string& path) {
    if (path.empty()) return -1;
    const std::string wanted = fs::path(path).lexically_normal().string();
    // A link made after the scan, or another name that leads to a listed device.
    const std::string target = linkTarget(wanted);
    for (size_t i = 0; i < scan.devices.size(); ++i) {
        const SerialDevice& device = scan.devices[i];
        if (device.path == wanted || device.path == target) return int(i);
        for (const auto* links : {&device.byId, &device.byPath})
            if (std::find(links->begin(), links->end(), wanted) != links->end()) return int(i);
    }
    return -1;
}

SerialPathState serialPathState(const SerialScan& scan, const std::string& path) {
    if (path.empty()) return SerialPathState::Missing;
    const fs::path normal = fs::path(path).lexically_normal();
    const bool there = exists(normal.string());
    // A port the scan listed may have been pulled since.
    if (findSerialDevice(scan, path) >= 0) return there ? SerialPathState::Present : SerialPathState::Missing;
    if (!there) return SerialPathState::Missing;
    // The scan speaks for the names it looks at, wherever the configuration
    // puts them: a ttyS node without a UART is a character device all the
    // same, and a /dev/serial link that led to nothing listed leads to a port
    // without hardware.
    const std::string target = linkTarget(normal);
    std::error_code ec;
    for (const std::string& name : {normal.filename().string(), fs::path(target).filename().string()}) {
        if (name.empty()) continue;
        if (hasSerialPrefix(name) || fs::exists(fs::path(scan.roots.sys) / "class" / "tty" / name, ec))
            return SerialPathState::NoHardware;
    }
    if (normal.parent_path().parent_path().filename() == "serial") return SerialPathState::NoHardware;
    return isCharacterDevice(normal.string()) ? SerialPathState::Present : SerialPathState::NotSerial;
}

bool serialDevicePresent(const SerialScan& scan, const std::string& path) {
    return serialPathState(scan, path) == SerialPathState::Present;
}
