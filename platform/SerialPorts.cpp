#include "platform/SerialPorts.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

// The kinds of terminal the scan looks at, in the order the list shows them:
// adapters first, as those are what an operator plugs in for the bus.
constexpr const char* kKinds[] = {"ttyUSB", "ttyACM", "ttyS"};
constexpr int kKindCount = 3;

// USB devices hang a few levels above the tty: ttyUSB0 -> interface 1-2:1.0
// -> device 1-2. More than this is not a USB device any more.
constexpr int kMaxLevelsUp = 6;

// The kind index and number of a name such as "ttyUSB3"; false for any other name.
bool parseName(const std::string& name, int& kind, unsigned long& number) {
    for (int k = 0; k < kKindCount; ++k) {
        const std::string prefix = kKinds[k];
        if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
        const std::string digits = name.substr(prefix.size());
        if (digits.size() > 6 || !std::all_of(digits.begin(), digits.end(), [](char c) {
                return c >= '0' && c <= '9';
            }))
            return false;
        kind = k;
        number = std::stoul(digits);
        return true;
    }
    return false;
}

// Follows links; false for a missing entry, a plain file, a directory or a
// dangling link.
bool isCharacterDevice(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
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

// A built-in port has a UART behind it when its port type is not 0
// (PORT_UNKNOWN): the kernel registers ttyS0 to ttyS31 whether or not
// anything answers at their addresses, and only the type tells them apart.
// The driver link is no help, as placeholders and real UARTs share it. When
// the type cannot be read the port is kept: offering one port too many is
// better than hiding the one the bus is on.
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
// idVendor and fills in what it says; nothing for a built-in port.
void readUsbIdentity(const fs::path& deviceLink, const fs::path& sysRoot, SerialDevice& device) {
    std::error_code ec;
    fs::path dir = fs::canonical(deviceLink, ec);
    if (ec) return;
    for (int level = 0; level <= kMaxLevelsUp && isInside(dir, sysRoot) && dir != sysRoot; ++level) {
        if (fs::exists(dir / "idVendor", ec)) {
            device.vendorId = readAttribute(dir / "idVendor");
            device.productId = readAttribute(dir / "idProduct");
            device.manufacturer = readAttribute(dir / "manufacturer");
            device.product = readAttribute(dir / "product");
            device.serial = readAttribute(dir / "serial");
            return;
        }
        dir = dir.parent_path();
    }
}

// Where a by-id link leads, taken one step and without touching the target:
// udev writes "../../ttyUSB0", which names the device whatever root the scan
// has. Following the whole chain would end in the device node itself, where
// two names of one node can no longer be told apart.
std::string linkTarget(const fs::path& link) {
    std::error_code ec;
    fs::path target = fs::read_symlink(link, ec);
    if (ec) return {};
    if (target.is_relative()) target = link.parent_path() / target;
    return target.lexically_normal().string();
}

std::string devicePath(const SerialRoots& roots, const std::string& name) {
    return (fs::path(roots.dev) / name).lexically_normal().string();
}

}  // namespace

SerialScan scanSerialDevices(const SerialRoots& roots) {
    SerialScan scan;
    scan.roots = roots;
    struct Sorted {
        int kind;
        unsigned long number;
        SerialDevice device;
    };
    std::vector<Sorted> found;

    std::error_code ec;
    const fs::path sysRoot = fs::weakly_canonical(roots.sys, ec);
    const fs::path classRoot = fs::path(roots.sys) / "class" / "tty";
    fs::directory_iterator it(roots.dev, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const std::string name = it->path().filename().string();
        int kind = 0;
        unsigned long number = 0;
        if (!parseName(name, kind, number)) continue;
        const std::string path = devicePath(roots, name);
        if (!isCharacterDevice(path)) continue;
        const fs::path classDir = classRoot / name;
        std::error_code sysError;
        // Without a device behind it the terminal is virtual (or the port
        // was unplugged between the two reads).
        if (!fs::exists(classDir / "device", sysError)) continue;
        if (std::string(kKinds[kind]) == "ttyS" && !hasUart(classDir)) continue;
        SerialDevice device;
        device.name = name;
        device.path = path;
        readUsbIdentity(classDir / "device", sysRoot, device);
        found.push_back({kind, number, std::move(device)});
    }
    std::sort(found.begin(), found.end(), [](const Sorted& a, const Sorted& b) {
        return a.kind != b.kind ? a.kind < b.kind : a.number < b.number;
    });
    for (Sorted& s : found) scan.devices.push_back(std::move(s.device));

    // A by-id link whose target is gone, or that leads elsewhere, names no
    // device of the list and is skipped.
    const fs::path byIdDir = fs::path(roots.dev) / "serial" / "by-id";
    fs::directory_iterator links(byIdDir, ec);
    for (; !ec && links != fs::directory_iterator(); links.increment(ec)) {
        std::error_code linkError;
        if (!links->is_symlink(linkError)) continue;
        const std::string target = linkTarget(links->path());
        for (SerialDevice& device : scan.devices)
            if (device.path == target) device.byId.push_back(links->path().lexically_normal().string());
    }
    for (SerialDevice& device : scan.devices) std::sort(device.byId.begin(), device.byId.end());
    return scan;
}

int findSerialDevice(const SerialScan& scan, const std::string& path) {
    if (path.empty()) return -1;
    const std::string wanted = fs::path(path).lexically_normal().string();
    // A by-id link made after the scan, or another name of the same kind
    // that leads to a listed device.
    const std::string target = linkTarget(wanted);
    for (size_t i = 0; i < scan.devices.size(); ++i) {
        const SerialDevice& device = scan.devices[i];
        if (device.path == wanted || device.path == target) return int(i);
        if (std::find(device.byId.begin(), device.byId.end(), wanted) != device.byId.end()) return int(i);
    }
    return -1;
}

bool serialDevicePresent(const SerialScan& scan, const std::string& path) {
    if (path.empty()) return false;
    if (findSerialDevice(scan, path) >= 0) return true;
    const fs::path normal = fs::path(path).lexically_normal();
    // The scan speaks for the names it looks at, wherever the configuration
    // puts them: a ttyS node without a UART is a character device all the
    // same, and a by-id link that led to nothing listed leads to a port that
    // is gone.
    int kind = 0;
    unsigned long number = 0;
    if (parseName(normal.filename().string(), kind, number)) return false;
    if (normal.parent_path().parent_path().filename() == "serial") return false;
    return isCharacterDevice(normal.string());
}
