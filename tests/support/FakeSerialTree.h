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

    // A serial adapter on USB device usbDevice ("1-2"), with its node and,
    // when byIdName is given, its by-id link. usb-serial drivers (ttyUSB,
    // ttyMXUSB) add a level below the interface; the others do not.
    void usbPort(const std::string& name, const std::string& usbDevice, const Usb& usb,
                 const std::string& byIdName = "") {
        const std::string device = "sys/devices/pci0000:00/0000:00:14.0/usb1/" + usbDevice;
        write(device + "/idVendor", usb.vendorId + "\n");
        write(device + "/idProduct", usb.productId + "\n");
        if (!usb.manufacturer.empty()) write(device + "/manufacturer", usb.manufacturer + "\n");
        if (!usb.product.empty()) write(device + "/product", usb.product + "\n");
        if (!usb.serial.empty()) write(device + "/serial", usb.serial + "\n");
        const std::string interface = device + "/" + usbDevice + ":1.0";
        if (name.rfind("ttyUSB", 0) == 0 || name.rfind("ttyMXUSB", 0) == 0) {
            // usb-serial: interface/ttyUSB0/tty/ttyUSB0, device -> interface/ttyUSB0
            classEntry(name, interface + "/" + name + "/tty/" + name, "../../../" + name);
        } else {
            // cdc-acm: interface/tty/ttyACM0, device -> the interface
            classEntry(name, interface + "/tty/" + name, "../../../" + usbDevice + ":1.0");
        }
        node(name);
        if (!byIdName.empty()) link("dev/serial/by-id/" + byIdName, "../../" + name);
    }

    // A PC's built-in port; type "" leaves the type file out.
    void builtInPort(const std::string& name, const std::string& type) {
        uartPort(name, "platform/serial8250", "platform", "serial8250", type);
    }

    // A UART on a device of the board, such as "platform/soc/fe201000.serial"
    // with driver "uart-pl011" on bus "amba". serialCore puts the port and
    // controller devices of newer kernels between the tty and the hardware.
    void uartPort(const std::string& name, const std::string& hardware, const std::string& bus,
                  const std::string& driver, const std::string& type, bool serialCore = false) {
        const std::string hw = "sys/devices/" + hardware;
        const std::string leaf = std::filesystem::path(hardware).filename().string();
        const std::string port = serialCore ? hw + "/" + leaf + ":0/" + leaf + ":0.0" : hw;
        if (serialCore) {
            link(hw + "/" + leaf + ":0/subsystem", "/sys/bus/serial-base");
            link(port + "/subsystem", "/sys/bus/serial-base");
        }
        link(hw + "/subsystem", "/sys/bus/" + bus);
        link(hw + "/driver", "/sys/bus/" + bus + "/drivers/" + driver);
        classEntry(name, port + "/tty/" + name, "../..");
        if (!type.empty()) write(port + "/tty/" + name + "/type", type + "\n");
        node(name);
    }

    // A terminal without hardware: a virtual console, a pseudo-terminal, a
    // Bluetooth link bound but not yet connected (address given).
    void virtualTty(const std::string& name, const std::string& address = "") {
        const std::string dir = "sys/devices/virtual/tty/" + name;
        std::filesystem::create_directories(this->dir.file(dir));
        if (!address.empty()) write(dir + "/address", address + "\n");
        link("sys/class/tty/" + name, "../../" + dir.substr(4));
        node(name);
    }

    void write(const std::string& path, const std::string& content) {
        std::filesystem::create_directories(std::filesystem::path(dir.file(path)).parent_path());
        std::ofstream(dir.file(path)) << content;
    }
    // A link made twice (ports of one device share its links) is made once.
    void link(const std::string& path, const std::string& target) {
        std::filesystem::create_directories(std::filesystem::path(dir.file(path)).parent_path());
        if (!std::filesystem::is_symlink(dir.file(path))) std::filesystem::create_symlink(target, dir.file(path));
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
