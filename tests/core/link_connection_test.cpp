// Bus scan, identity and the device image against the in-process simulator.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/SimFixture.h"

namespace {

std::string devices(unsigned count, unsigned firstAddress = 0) {
    std::string text;
    for (unsigned i = 0; i < count; ++i) {
        unsigned address = firstAddress + i;
        text += "device " + std::to_string(address) + " DEV" + std::to_string(address) + "\n";
        text += " version 1\n release 2\n pversion 3\n";
    }
    return text;
}

bool selected(const std::vector<uint8_t>& sent, uint8_t address) {
    return std::find(sent.begin(), sent.end(), uint8_t(0x80 + address)) != sent.end();
}

}  // namespace

TEST(Connection, ScanListsDevicesAndConnects) {
    SimFixture f(SimFixture::fromText,
                 "device 42 PUMPCTRL\n version 3\n release 7\n pversion 2\n reg40 0x1234\n reg44 17\n"
                 " password 4321\n param 0100 4 1000\n"
                 "device 5 VALVE\n version 1\n");
    ASSERT_EQ(f.error, "");
    ASSERT_TRUE(f.link.Open(1));
    EXPECT_EQ(f.link.ScanBus(), 2);
    EXPECT_EQ(f.link.BusListCount(), 2);
    EXPECT_EQ(f.link.BusEntry(1), "05>VALVE   ");
    EXPECT_EQ(f.link.BusEntry(2), "2a>PUMPCTRL");
    EXPECT_EQ(f.link.BusEntry(3), "");
    EXPECT_EQ(f.link.BusEntry(0), "");
    EXPECT_EQ(f.link.BusEntryName(2), "PUMPCTRL");
    EXPECT_EQ(f.link.BusEntryAddress(2), 0x2A);
    EXPECT_EQ(f.link.FindBusEntry(0x2A), 2u);
    EXPECT_EQ(f.link.FindBusEntry(0x2B), 0u);
    EXPECT_EQ(f.link.progressCounter, 63u);

    ASSERT_TRUE(f.link.Select(0x2A));
    EXPECT_EQ(f.link.Version(), -1);  // not yet connected
    ASSERT_TRUE(f.link.ReadIdentity(false));
    EXPECT_EQ(f.link.progressCounter, 6u);
    EXPECT_EQ(f.link.connected, 0);
    ASSERT_TRUE(f.link.ReadIdentity(true));
    EXPECT_EQ(f.link.connected, 1);
    EXPECT_EQ(f.link.Name(), "PUMPCTRL");
    EXPECT_EQ(f.link.Address(), 0x2A);
    EXPECT_EQ(f.link.Version(), 3);
    EXPECT_EQ(f.link.Release(), 7);
    EXPECT_EQ(f.link.ParameterVersion(), 2);
    EXPECT_EQ(f.link.Register40(), 0x1234);
    EXPECT_EQ(f.link.Register44(), 17);
    EXPECT_EQ(f.link.Password(), 4321);
}

TEST(Connection, DemoBusHandshakeAndRestart) {
    SimFixture f;
    ASSERT_EQ(f.error, "");
    ASSERT_TRUE(f.connect(0x12));
    EXPECT_EQ(f.link.BusListCount(), 3);
    EXPECT_EQ(f.link.Name(), "VALVEDRV");
    EXPECT_EQ(f.link.Password(), 1234);
    EXPECT_EQ(f.link.Register40(), -1);
    EXPECT_EQ(&deviceLink(), &f.link);

    ASSERT_TRUE(f.link.OpenParameterAccess(true));
    EXPECT_EQ(f.link.parameterAccess, 1);
    EXPECT_TRUE(f.device(0x12)->extendedAccess);
    uint32_t value = 0;
    EXPECT_EQ(f.link.ReadRegisterRetry(0x0402, value), 1);
    EXPECT_EQ(value, 20u);

    double before = f.virtualMs();
    ASSERT_TRUE(f.link.RestartAndWait());
    EXPECT_GE(f.virtualMs() - before, 1500.0);
    EXPECT_EQ(f.device(0x12)->restarts, 1u);
    EXPECT_FALSE(f.device(0x12)->access);
    EXPECT_EQ(f.link.selectedAddress, 0x12);
    EXPECT_EQ(f.link.ReadRegisterRetry(0x0402, value), 3);  // access closed again
}
