#pragma once
// A /dev and /sys of plain files, directories and links, laid out as the
// kernel and udev lay them out, for the serial port scan. Device nodes are
// links to /dev/null: a character device that every machine has.
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/SerialPorts.h"
#include "support/Support.h"

class FakeSerialTree {
public:
    struct Usb {
        std::string manufacturer, product, serial, vendorId, productId;
    };

    SerialRoots roots() const { return {dir.file("dev"), dir.file("sys")}; }
    std::string dev(const std::string& name) const { return dir.file("dev/" + name); }
    std::string byId(const std::string& name) const { return dir.file("dev/serial/by-id/" + name); }

    // A device node.
    void node(const std::string& name) { link("dev/" + name, "/dev/null"); }

    // A USB serial adapter (ttyUSB) or modem-class device (ttyACM) on USB
    // device usbDevice ("1-2"), with its node and, when byIdName is given,
    // its by-id link.
    void usbPort(const std::string& name, const std::string& usbDevice, const Usb& usb,
                 const std::string& byIdName = "") {
        const std::string device = "sys/devices/pci0000:00/0000:00:14.0/usb1/" + usbDevice;
        write(device + "/idVendor", usb.vendorId + "\n");
        write(device + "/idProduct", usb.productId + "\n");
        if (!usb.manufacturer.empty()) write(device + "/manufacturer", usb.manufacturer + "\n");
        if (!usb.product.empty()) write(device + "/product", usb.product + "\n");
        if (!usb.serial.empty()) write(device + "/serial", usb.serial + "\n");
        const std::string interface = device + "/" + usbDevice + ":1.0";
        if (name.rfind("ttyUSB", 0) == 0) {
            // usb-serial: interface/ttyUSB0/tty/ttyUSB0, device -> interface/ttyUSB0
            classEntry(name, interface + "/" + name + "/tty/" + name, "../../../" + name);
        } else {
            // cdc-acm: interface/tty/ttyACM0, device -> the interface
            classEntry(name, interface + "/tty/" + name, "../../../" + usbDevice + ":1.0");
        }
        node(name);
        if (!byIdName.empty()) link("dev/serial/by-id/" + byIdName, "../../" + name);
    }

    // A built-in port; type "" leaves the type file out.
    void builtInPort(const std::string& name, const std::string& type) {
        const std::string port = "sys/devices/platform/serial8250/" + name;
        classEntry(name, port + "/tty/" + name, "../../../" + name);
        if (!type.empty()) write(port + "/tty/" + name + "/type", type + "\n");
        node(name);
    }

    void write(const std::string& path, const std::string& content) {
        std::filesystem::create_directories(std::filesystem::path(dir.file(path)).parent_path());
        std::ofstream(dir.file(path)) << content;
    }
    void link(const std::string& path, const std::string& target) {
        std::filesystem::create_directories(std::filesystem::path(dir.file(path)).parent_path());
        std::filesystem::create_symlink(target, dir.file(path));
    }
    void remove(const std::string& path) { std::filesystem::remove_all(dir.file(path)); }

    TempDir dir;

private:
    // sys/class/tty/<name> -> the tty's directory, whose "device" link leads
    // (relative to it) to the device.
    void classEntry(const std::string& name, const std::string& ttyDir, const std::string& device) {
        std::filesystem::create_directories(dir.file(ttyDir));
        link(ttyDir + "/device", device);
        link("sys/class/tty/" + name, "../../" + ttyDir.substr(4));
    }
};
