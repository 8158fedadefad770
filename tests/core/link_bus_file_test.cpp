// Bus descriptions, the shipped demo bus with its parameter texts, and the
// mapping of port numbers to device paths.
#include <gtest/gtest.h>

#include <set>

#include "platform/PortDevices.h"
#include "sim/PtyServer.h"
#include "sim/SimBus.h"
#include "support/Support.h"
#include "texts/TextTable.h"

TEST(BusFile, StatementsAndDefaults) {
    SimBus bus;
    std::string error;
    ASSERT_TRUE(parseBusText("# two devices\n"
                             "device 0x2a PUMPCTRL  # comment\n"
                             "  version 3\n release 7\n pversion 0x12\n reg44 17\n status 0x01a2\n password 99\n"
                             "  param 0100 4 1000\n param 0x0102 onoff on\n param 0104 2 0x55 ext\n"
                             "  param 017e 8 4294967295\n mute 22\n mute 0x0104\n notavail 48\n"
                             "  count 017e 5 every 250\n wander 0100 20\n count 0104\n"
                             "\n"
                             "device 7 SHORT\n end 0300\n",
                             bus, error))
        << error;
    ASSERT_EQ(bus.devices().size(), 2u);
    SimDevice* d = bus.device(0x2A);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->name, "PUMPCTRL");
    EXPECT_EQ(d->version, 3u);
    EXPECT_EQ(d->parameterVersion, 0x12u);
    EXPECT_FALSE(d->hasRegister40);
    EXPECT_TRUE(d->hasRegister44);
    EXPECT_EQ(d->status, 0x01a2u);
    EXPECT_EQ(d->parameters.size(), 4u);
    EXPECT_TRUE(d->parameter(0x0102)->onOff());
    EXPECT_EQ(d->parameter(0x0102)->value, 1u);
    EXPECT_TRUE(d->parameter(0x0104)->extendedOnly);
    EXPECT_EQ(d->parameter(0x017E)->value, 0xFFFFFFFFu);
    EXPECT_EQ(d->endKey, 0x0200u);  // after the last parameter, on the next page
    EXPECT_EQ(d->mutedKeys, (std::set<uint32_t>{22, 0x0104}));
    EXPECT_EQ(d->unavailableKeys, (std::set<uint32_t>{48}));
    const SimParameter &c = *d->parameter(0x017E), &c1 = *d->parameter(0x0104), &w = *d->parameter(0x0100);
    EXPECT_EQ(std::tuple(c.motion, c.step, c.periodNs), std::tuple(SimMotion::Counter, 5u, int64_t(250000000)));
    EXPECT_EQ(std::tuple(c1.motion, c1.step, c1.periodNs), std::tuple(SimMotion::Counter, 1u, int64_t(0)));
    EXPECT_EQ(std::tuple(w.motion, w.band, w.base, w.periodNs), std::tuple(SimMotion::Wander, 20u, 1000u, int64_t(0)));
    SimDevice* s = bus.device(7);
    EXPECT_EQ(s->name, "SHORT   ");
    EXPECT_EQ(s->version, 1u);
    EXPECT_EQ(s->endKey, 0x0300u);

    // The state written back reads as the same bus.
    SimBus again;
    ASSERT_TRUE(parseBusText(busText(bus), again, error)) << error;
    EXPECT_EQ(busText(again), busText(bus));
    for (const char* live : {"count 017e 5 every 250\n", "wander 0100 20\n", "count 0104 1\n", "notavail 48\n"})
        EXPECT_NE(busText(bus).find(live), std::string::npos) << live;
}

TEST(BusFile, MistakesAreNamedByLine) {
    const std::pair<const char*, const char*> cases[] = {
        {"version 3\n", "line 1: \"version\" before the first device"},
        {"device 64 X\n", "line 1: expected: device <address 0..63> <name>"},
        {"device 1 NINECHARS\n", "line 1: a device name has at most 8 characters"},
        {"device 1 A\ndevice 1 B\n", "line 2: two devices at address 1"},
        {"device 1 A\nparam 0101 2 1\n", "line 2: bad parameter number 0101"},
        {"device 1 A\nparam 0080 2 1\n", "line 2: bad parameter number 0080"},
        {"device 1 A\nparam 01fe 2 1\n", "line 2: bad parameter number 01fe"},
        {"device 1 A\nparam 0100 3 1\n", "line 2: kind is 2, 4, 6, 8 or onoff"},
        {"device 1 A\nparam 0100 2 256\n", "line 2: value 256 does not fit in 2 digits"},
        {"device 1 A\nparam 0100 onoff maybe\n", "line 2: an on/off value is on, off, 1 or 0"},
        {"device 1 A\nparam 0100 2 1\nparam 0100 2 2\n", "line 3: parameter 0100 given twice"},
        {"device 1 A\nparam 0100 8 99999999999\n", "line 2: bad value 99999999999"},
        {"device 1 A\nparam 0100 2 1 extended\n", "line 2: expected \"ext\" after the value"},
        {"device 1 A\nvolume 11\n", "line 2: unknown statement \"volume\""},
        {"device 1 A\nend 0101\n", "line 2: expected: end <key>"},
        {"device 1 A\nnotavail x\n", "line 2: expected: notavail <key>"},
        {"device 1 A\ncount 0100\nparam 0100 2 1\n", "line 2: count before its param 0100"},
        {"device 1 A\nparam 0100 onoff on\nwander 0100 3\n", "line 3: an on/off parameter cannot wander: 0100"},
        {"device 1 A\nparam 0100 2 1\ncount 0100 2 every 0\n",
         "line 3: expected: count <key> [<step>] [every <ms 1..86400000>]"},
    };
    for (const auto& [text, message] : cases) {
        SimBus bus;
        std::string error;
        EXPECT_FALSE(parseBusText(text, bus, error)) << text;
        EXPECT_EQ(error, message) << text;
    }
    SimBus bus;
    std::string error;
    EXPECT_FALSE(loadBusFile("/nonexistent/demo.bus", bus, error));
}

TEST(BusFile, DemoBusAndItsParameterTexts) {
    SimBus bus;
    std::string error;
    ASSERT_TRUE(loadBusFile(FS_SOURCE_DIR "/install/demo.bus", bus, error)) << error;
    ASSERT_EQ(bus.devices().size(), 3u);
    SimDevice* big = bus.device(1);
    ASSERT_NE(big, nullptr);
    EXPECT_GE(big->parameters.size(), 300u);
    std::set<uint8_t> widths;
    unsigned extended = 0, gaps = 0;
    for (const auto& [key, p] : big->parameters) {
        widths.insert(p.digits);
        extended += p.extendedOnly;
    }
    for (uint32_t key = 0x0100; key < big->endKey; key += 2) {
        if ((key & 0xFF) >= 0x80) key = (key & 0xFF00) + 0x100;
        if (!big->parameter(key)) ++gaps;
    }
    EXPECT_EQ(widths, (std::set<uint8_t>{0, 2, 4, 6, 8}));
    EXPECT_GT(extended, 10u);
    EXPECT_GT(gaps, 10u);
    EXPECT_GT(big->parameters.rbegin()->first >> 8, 1u);  // the table crosses pages

    for (const char* language : {"eng", "ita"}) {
        TextTable texts;
        ASSERT_TRUE(texts.Load(std::string(FS_SOURCE_DIR "/install/parameters.") + language));
        for (const auto& d : bus.devices())
            for (const auto& [key, p] : d->parameters) {
                std::string text = texts.Lookup(key);
                EXPECT_FALSE(text.empty()) << language << " " << std::hex << key;
                for (char c : text) EXPECT_TRUE(c >= 0x20 && c < 0x7F) << language << " " << text;
            }
    }
}

TEST(PortDevices, ConfiguredPathOrTheDefaultName) {
    TempDir dir;
    dir.write("config.ini", "[BASIC Configurations]\nserial_port=1\n[Port Devices]\ncom1=/dev/ttyUSB0\nCOM12=/tmp/bus0\n");
    EXPECT_EQ(portDevicePath(dir.file("config.ini"), 1), "/dev/ttyUSB0");
    EXPECT_EQ(portDevicePath(dir.file("config.ini"), 12), "/tmp/bus0");
    EXPECT_EQ(portDevicePath(dir.file("config.ini"), 2), "/dev/ttyS1");
    EXPECT_EQ(portDevicePath(dir.file("missing.ini"), 24), "/dev/ttyS23");
    EXPECT_EQ(portDevicePath(dir.file("config.ini"), 0), "");
}
