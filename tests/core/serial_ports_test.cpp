// The scan of the serial devices present, against trees of /dev and /sys
// that each case builds: the kinds of device and the broken entries a real
// machine can hold.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "platform/SerialPorts.h"
#include "support/FakeSerialTree.h"

namespace {

const FakeSerialTree::Usb kFtdi{"FTDI", "FT232R USB UART", "A50285BI", "0403", "6001"};
const FakeSerialTree::Usb kAcm{"Acme Instruments", "Bus Probe", "0007", "1234", "5678"};
constexpr const char* kFtdiId = "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";

const FakeSerialTree::Usb kCh340{"", "USB Serial", "", "1a86", "7523"};   // no serial number
constexpr const char* kCh340Id = "usb-1a86_USB_Serial-if00-port0";
constexpr const char* kKindNames[] = {"usb", "bluetooth", "uart", "builtin"};

// One device as "name|kind|maker|model|serial|vid:pid|hardware|links": the
// by-id, then the by-path names, the one a configuration gets marked "*".
std::string summary(const SerialDevice& d, const FakeSerialTree& tree) {
    std::string links;
    for (const auto* names : {&d.byId, &d.byPath})
        for (const std::string& link : *names)
            links += std::string(links.empty() ? "" : ",") + (link == d.stablePath() ? "*" : "") +
                     std::filesystem::path(link).filename().string();
    EXPECT_EQ(d.path, tree.dev(d.name));
    return d.name + "|" + kKindNames[int(d.kind)] + "|" + d.manufacturer + "|" + d.product + "|" + d.serial +
           "|" + d.vendorId + ":" + d.productId + "|" + d.hardware + "|" + links;
}

struct ScanCase {
    const char* name;
    std::function<void(FakeSerialTree&)> build;
    std::vector<std::string> expected;
};

void PrintTo(const ScanCase& c, std::ostream* os) { *os << c.name; }

class SerialScanTest : public ::testing::TestWithParam<ScanCase> {};

TEST_P(SerialScanTest, ListsWhatIsThere) {
    FakeSerialTree tree;
    GetParam().build(tree);
    SerialScan scan = scanSerialDevices(tree.roots());
    std::vector<std::string> got;
    for (const SerialDevice& d : scan.devices) got.push_back(summary(d, tree));
    EXPECT_EQ(got, GetParam().expected);
}

const ScanCase kScanCases[] = {
    {"UsbAdapterWithItsStableName",
     [](FakeSerialTree& t) { t.usbPort("ttyUSB0", "1-2", kFtdi, kFtdiId); },
     {std::string("ttyUSB0|usb|FTDI|FT232R USB UART|A50285BI|0403:6001|1-2|*") + kFtdiId}},
    {"EveryKindOfPort",
     [](FakeSerialTree& t) {
         for (const char* name : {"ttyXRUSB0", "ttyCH343USB0", "ttyMXUSB1"}) t.usbPort(name, name, kAcm);
         t.uartPort("ttyAMA0", "platform/soc/fe201000.serial", "amba", "uart-pl011", "");
         t.uartPort("ttymxc1", "platform/soc/30890000.serial", "platform", "imx-uart", "1", true);
         t.uartPort("ttyS1", "platform/soc/fe215040.serial", "platform", "bcm2835-aux-uart", "0");
         t.virtualTty("rfcomm0", "00:11:22:33:44:55");   // bound, connects on opening
     },
     {"ttyCH343USB0|usb|Acme Instruments|Bus Probe|0007|1234:5678|ttyCH343USB0|",
      "ttyMXUSB1|usb|Acme Instruments|Bus Probe|0007|1234:5678|ttyMXUSB1|",
      "ttyXRUSB0|usb|Acme Instruments|Bus Probe|0007|1234:5678|ttyXRUSB0|",
      "rfcomm0|bluetooth||||:|00:11:22:33:44:55|", "ttyAMA0|uart||||:|fe201000.serial|",
      "ttymxc1|uart||||:|30890000.serial|"}},
    {"BuiltInPortsOnlyWithAUart",
     [](FakeSerialTree& t) {
         t.builtInPort("ttyS0", "4");
         t.builtInPort("ttyS1", "0");        // registered, nothing behind it
         t.builtInPort("ttyS2", "");         // type unknown: kept
     },
     {"ttyS0|builtin||||:|serial8250|", "ttyS2|builtin||||:|serial8250|"}},
    {"AdaptersFirstThenByNumber",
     [](FakeSerialTree& t) {
         t.builtInPort("ttyS0", "4");
         t.usbPort("ttyUSB10", "1-4", kFtdi);
         t.usbPort("ttyACM0", "1-3", kAcm);
         t.usbPort("ttyUSB2", "1-2", kFtdi);
     },
     {"ttyUSB2|usb|FTDI|FT232R USB UART|A50285BI|0403:6001|1-2|",
      "ttyUSB10|usb|FTDI|FT232R USB UART|A50285BI|0403:6001|1-4|",
      "ttyACM0|usb|Acme Instruments|Bus Probe|0007|1234:5678|1-3|", "ttyS0|builtin||||:|serial8250|"}},
    {"OtherTerminalsAndVirtualOnes",
     [](FakeSerialTree& t) {
         for (const char* name : {"tty0", "ttyprintk", "ptmx", "console", "ptyp0", "ttyp0"}) t.virtualTty(name);
         for (const char* name : {"ttyUSB", "ttyS1x", "ttyAMA0"}) t.node(name);
         t.node("ttyUSB3");                             // no sysfs entry: unplugged meanwhile
         t.write("sys/class/tty/ttyUSB4/dev", "188:4\n");  // no device behind it
         t.node("ttyUSB4");
     },
     {}},
    {"DevEntriesThatAreNoDevices",
     [](FakeSerialTree& t) {
         t.usbPort("ttyUSB0", "1-2", kFtdi);
         t.remove("dev/ttyUSB0");
         t.write("dev/ttyUSB0", "");                     // a plain file
         t.usbPort("ttyUSB1", "1-4", kFtdi);
         t.remove("dev/ttyUSB1");
         std::filesystem::create_directories(t.dev("ttyUSB1"));   // a directory
         t.usbPort("ttyUSB2", "1-5", kFtdi);
         t.remove("dev/ttyUSB2");
         t.link("dev/ttyUSB2", "nowhere");               // a dangling link
     },
     {}},
    {"BrokenLinks",
     [](FakeSerialTree& t) {
         t.usbPort("ttyUSB0", "1-2", kFtdi, kFtdiId);
         t.link("dev/serial/by-id/usb-gone-if00-port0", "../../ttyUSB7");   // target gone
         t.link("dev/serial/by-path/usb-0:9:1.0-port0", "../../ttyUSB7");
         t.link("dev/serial/by-id/usb-elsewhere", "/tmp/elsewhere");
         t.write("dev/serial/by-id/usb-plain-file", "");
         t.link("dev/serial/by-id/usb-second-name", "../../ttyUSB0");
     },
     {std::string("ttyUSB0|usb|FTDI|FT232R USB UART|A50285BI|0403:6001|1-2|*") + kFtdiId + ",usb-second-name"}},
    // udev gives two alike adapters one by-id name, which leads to the later
    // one; the by-path names tell them apart.
    {"AlikeAdaptersByPath",
     [](FakeSerialTree& t) {
         t.usbPort("ttyUSB0", "1-2", kCh340);
         t.usbPort("ttyUSB1", "1-3", kCh340, kCh340Id);
         t.link("dev/serial/by-path/usb-0:2:1.0-port0", "../../ttyUSB0");
         t.link("dev/serial/by-path/usb-0:3:1.0-port0", "../../ttyUSB1");
     },
     {"ttyUSB0|usb||USB Serial||1a86:7523|1-2|*usb-0:2:1.0-port0",
      std::string("ttyUSB1|usb||USB Serial||1a86:7523|1-3|") + kCh340Id + ",*usb-0:3:1.0-port0"}},
    {"UnreadableOrMissingIdentity",
     [](FakeSerialTree& t) {
         t.usbPort("ttyUSB0", "1-2", {"", "", "", "0403", "6015"});
         // an attribute that cannot be read as a file
         std::filesystem::create_directories(
             t.dir.file("sys/devices/pci0000:00/0000:00:14.0/usb1/1-2/manufacturer"));
         t.usbPort("ttyUSB1", "1-4", kFtdi);
         t.remove("sys/devices/pci0000:00/0000:00:14.0/usb1/1-4/1-4:1.0/ttyUSB1/tty/ttyUSB1/device");
         t.link("sys/devices/pci0000:00/0000:00:14.0/usb1/1-4/1-4:1.0/ttyUSB1/tty/ttyUSB1/device",
                "../../gone");                           // device link dangles
     },
     {"ttyUSB0|usb||||0403:6015|1-2|"}},
    {"NoTreeAtAll", [](FakeSerialTree&) {}, {}},
};

INSTANTIATE_TEST_SUITE_P(Trees, SerialScanTest, ::testing::ValuesIn(kScanCases),
                         [](const auto& info) { return std::string(info.param.name); });

// What a configured path means against a scan: the names the scan speaks
// for need it to have found them, anything else needs a character device.
TEST(SerialPorts, ConfiguredPathsAgainstTheScan) {
    FakeSerialTree tree;
    tree.usbPort("ttyUSB0", "1-2", kFtdi, kFtdiId);
    tree.builtInPort("ttyS0", "4");
    tree.builtInPort("ttyS1", "0");
    tree.link("dev/serial/by-id/usb-gone", "../../ttyUSB5");
    tree.link("demo/bus0", "/dev/null");
    tree.write("demo/plain", "");
    tree.usbPort("ttyUSB1", "1-3", kCh340);
    tree.link("dev/serial/by-path/usb-0:3", "../../ttyUSB1");
    SerialScan scan = scanSerialDevices(tree.roots());
    ASSERT_EQ(scan.devices.size(), 3u);
    tree.remove("dev/ttyUSB1");   // pulled after the scan

    struct Row {
        std::string path;
        int device;
        bool present;
    };
    const Row rows[] = {
        {tree.dev("ttyUSB0"), 0, true},
        {tree.byId(kFtdiId), 0, true},
        {tree.dir.file("dev/serial/../ttyUSB0"), 0, true},   // another spelling
        {tree.dev("serial/by-path/usb-0:3"), 1, false},
        {tree.dev("ttyS0"), 2, true},
        {tree.dev("ttyS1"), -1, false},            // a node without a UART
        {tree.byId("usb-gone"), -1, false},        // link whose target is gone
        {"/dev/ttyS9", -1, false},                 // a kind the scan looks at, not found there
        {tree.dir.file("demo/bus0"), -1, true},    // a link to a terminal elsewhere
        {tree.dir.file("demo/plain"), -1, false},
        {"", -1, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        EXPECT_EQ(findSerialDevice(scan, row.path), row.device);
        EXPECT_EQ(serialDevicePresent(scan, row.path), row.present);
    }
}

}  // namespace
