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

// One device as "name|maker|model|serial|vid:pid|by-id names"; the by-id
// names without their folder.
std::string summary(const SerialDevice& d, const FakeSerialTree& tree) {
    std::string ids;
    for (const std::string& link : d.byId) {
        EXPECT_EQ(std::filesystem::path(link).parent_path(), std::filesystem::path(tree.byId("")).parent_path());
        ids += (ids.empty() ? "" : ",") + std::filesystem::path(link).filename().string();
    }
    EXPECT_EQ(d.path, tree.dev(d.name));
    return d.name + "|" + d.manufacturer + "|" + d.product + "|" + d.serial + "|" + d.vendorId + ":" +
           d.productId + "|" + ids;
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
     {std::string("ttyUSB0|FTDI|FT232R USB UART|A50285BI|0403:6001|") + kFtdiId}},
    {"ModemClassDeviceOneLevelCloserToUsb",
     [](FakeSerialTree& t) { t.usbPort("ttyACM0", "1-3", kAcm); },
     {"ttyACM0|Acme Instruments|Bus Probe|0007|1234:5678|"}},
    {"BuiltInPortsOnlyWithAUart",
     [](FakeSerialTree& t) {
         t.builtInPort("ttyS0", "4");
         t.builtInPort("ttyS1", "0");        // registered, nothing behind it
         t.builtInPort("ttyS2", "");         // type unknown: kept
     },
     {"ttyS0||||:|", "ttyS2||||:|"}},
    {"AdaptersFirstThenByNumber",
     [](FakeSerialTree& t) {
         t.builtInPort("ttyS0", "4");
         t.usbPort("ttyUSB10", "1-4", kFtdi);
         t.usbPort("ttyACM0", "1-3", kAcm);
         t.usbPort("ttyUSB2", "1-2", kFtdi);
     },
     {"ttyUSB2|FTDI|FT232R USB UART|A50285BI|0403:6001|",
      "ttyUSB10|FTDI|FT232R USB UART|A50285BI|0403:6001|",
      "ttyACM0|Acme Instruments|Bus Probe|0007|1234:5678|", "ttyS0||||:|"}},
    {"OtherTerminalsAndVirtualOnes",
     [](FakeSerialTree& t) {
         for (const char* name : {"tty0", "ttyprintk", "ptmx", "console", "ttyUSB", "ttyS1x", "ttyAMA0"})
             t.node(name);
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
    {"BrokenByIdLinks",
     [](FakeSerialTree& t) {
         t.usbPort("ttyUSB0", "1-2", kFtdi, kFtdiId);
         t.link("dev/serial/by-id/usb-gone-if00-port0", "../../ttyUSB7");   // target gone
         t.link("dev/serial/by-id/usb-elsewhere", "/tmp/elsewhere");
         t.write("dev/serial/by-id/usb-plain-file", "");
         t.link("dev/serial/by-id/usb-second-name", "../../ttyUSB0");
     },
     {std::string("ttyUSB0|FTDI|FT232R USB UART|A50285BI|0403:6001|") + kFtdiId + ",usb-second-name"}},
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
     {"ttyUSB0||||0403:6015|"}},
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
    SerialScan scan = scanSerialDevices(tree.roots());
    ASSERT_EQ(scan.devices.size(), 2u);

    struct Row {
        std::string path;
        int device;
        bool present;
    };
    const Row rows[] = {
        {tree.dev("ttyUSB0"), 0, true},
        {tree.byId(kFtdiId), 0, true},
        {tree.dir.file("dev/serial/../ttyUSB0"), 0, true},   // another spelling
        {tree.dev("ttyS0"), 1, true},
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
    EXPECT_EQ(scan.devices[0].stablePath(), tree.byId(kFtdiId));
    EXPECT_EQ(scan.devices[1].stablePath(), tree.dev("ttyS0"));
}

}  // namespace
