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

TEST(Connection, ScanStopsAfterThirtyTwoDevices) {
    SimFixture f(SimFixture::fromText, devices(40));
    ASSERT_EQ(f.error, "");
    ASSERT_TRUE(f.link.Open(1));
    f.sim.clearLog();
    EXPECT_EQ(f.link.ScanBus(), 32);
    EXPECT_EQ(f.link.BusEntry(32), "1f>DEV31   ");
    EXPECT_EQ(f.link.BusEntry(33), "");
    std::vector<uint8_t> sent = f.sim.sentBytes();
    EXPECT_TRUE(selected(sent, 31));
    for (unsigned address = 32; address < 64; ++address) EXPECT_FALSE(selected(sent, uint8_t(address))) << address;
    EXPECT_EQ(sent.back(), 0xFF);  // the scan ends with a release
}

TEST(Connection, DeviceWithAnUnreadableNameIsLeftOut) {
    SimFixture f(SimFixture::fromText, devices(2) + "mute 22\n" + devices(2, 2));
    ASSERT_EQ(f.error, "");
    ASSERT_TRUE(f.link.Open(1));
    EXPECT_EQ(f.link.ScanBus(), 3);
    EXPECT_EQ(f.link.BusEntry(1), "00>DEV0    ");
    EXPECT_EQ(f.link.BusEntry(2), "02>DEV2    ");  // device 1 gave up on register 22
    EXPECT_EQ(f.link.BusEntry(3), "03>DEV3    ");
    EXPECT_EQ(f.device(1)->reads, 3u + 10u);  // 16, 18, 20, then ten tries of 22
    EXPECT_EQ(f.link.FindBusEntry(1), 0u);
}

TEST(Connection, DeviceAtAddressZeroAndEmptyBus) {
    SimFixture empty(SimFixture::fromText, "");
    ASSERT_TRUE(empty.link.Open(1));
    EXPECT_EQ(empty.link.ScanBus(), 0);
    EXPECT_EQ(empty.link.FindBusEntry(0), 0u);  // no entry matches, not even address 0
    EXPECT_EQ(empty.link.BusEntryAddress(1), 0);
    EXPECT_FALSE(empty.link.ReadIdentity(true));
    EXPECT_EQ(empty.link.connected, 0);

    SimFixture f(SimFixture::fromText, "device 0 ZERO\n version 5\n release 1\n pversion 1\n");
    ASSERT_TRUE(f.connect(0));
    EXPECT_EQ(f.link.BusEntry(1), "00>ZERO    ");
    EXPECT_EQ(f.link.Version(), 5);
    EXPECT_EQ(f.link.Address(), 0);
    EXPECT_EQ(f.link.Register40(), -1);  // a device without 40 and 44 still connects
    EXPECT_EQ(f.link.Register44(), -1);
    EXPECT_EQ(f.link.Password(), 0);
}

TEST(Connection, IdentityFailsWithoutVersionAndKeepsFields) {
    SimFixture f(SimFixture::fromText, "device 3 NOVER\n version 4\n release 6\n mute 34\n");
    ASSERT_TRUE(f.link.Open(1));
    ASSERT_EQ(f.link.ScanBus(), 1);
    ASSERT_TRUE(f.link.Select(3));
    f.link.release = 99;
    f.link.parameterVersion = 98;
    EXPECT_FALSE(f.link.ReadIdentity(true));
    EXPECT_EQ(f.link.version, 4u);
    EXPECT_EQ(f.link.release, 99u);            // not read
    EXPECT_EQ(f.link.parameterVersion, 98u);   // never reached
    EXPECT_EQ(f.link.connected, 0);
    EXPECT_EQ(f.link.deviceName, "NOVER   ");
    EXPECT_EQ(f.link.progressCounter, 1u);
}

TEST(Connection, ImageSurvivesReleaseAndReopen) {
    SimFixture f;
    ASSERT_TRUE(f.connect(0x2A));
    EXPECT_TRUE(f.link.Deselect());
    EXPECT_EQ(f.link.Address(), 0);
    EXPECT_EQ(f.link.Name(), "FLOWMTR1");
    EXPECT_EQ(f.link.Version(), 1);
    EXPECT_EQ(f.link.Register40(), 0x0400);
    EXPECT_EQ(f.link.Password(), 4321);
    EXPECT_TRUE(f.link.Close());
    EXPECT_EQ(f.link.Version(), 1);  // the image stays until the next identity read

    // Open on an open port: not reopened, but the bus list is emptied.
    ASSERT_TRUE(f.link.Open(1));
    ASSERT_EQ(f.link.ScanBus(), 3);
    EXPECT_FALSE(f.link.Open(1));
    EXPECT_EQ(f.link.BusListCount(), 0);
    EXPECT_TRUE(f.link.isOpen());
    EXPECT_EQ(f.line->opens(), 2u);
    EXPECT_EQ(f.link.ScanBus(), 3);
}

TEST(Connection, AccessHandshakeAndRestartFailures) {
    SimFixture f;
    ASSERT_TRUE(f.connect(1));
    // Not connected: nothing is sent.
    f.link.connected = 0;
    f.sim.clearLog();
    EXPECT_EQ(f.link.OpenParameterAccess(true), 0);
    EXPECT_EQ(f.link.RestartAndWait(), 0);
    EXPECT_EQ(f.link.WriteAddress(9), 0);
    EXPECT_EQ(f.link.WritePassword(9), 0);
    EXPECT_TRUE(f.sim.log.empty());
    f.link.connected = 1;

    // The wrong access code: refused for 10 s.
    f.link.password = 55;  // the device has none, so it wants 0x5A
    double before = f.virtualMs();
    EXPECT_EQ(f.link.OpenParameterAccess(true), 0);
    EXPECT_GE(f.virtualMs() - before, 10000.0);
    EXPECT_LT(f.virtualMs() - before, 10100.0);
    EXPECT_GT(f.link.progressCounter, 9900u);
    EXPECT_EQ(f.link.parameterAccess, 0);
    f.link.password = 0;
    EXPECT_EQ(f.link.OpenParameterAccess(false), -1);
    EXPECT_TRUE(f.device(1)->access);
    EXPECT_FALSE(f.device(1)->extendedAccess);

    // A device that does not come back from its restart.
    f.sim.bus.restartSilenceNs = 20000000000;
    before = f.virtualMs();
    EXPECT_EQ(f.link.RestartAndWait(), 0);
    EXPECT_GE(f.virtualMs() - before, 10000.0);
    EXPECT_EQ(f.link.selectedAddress, 0);
    EXPECT_EQ(f.sim.sentBytes().back(), 0xFF);  // released at the end
    EXPECT_EQ(f.link.parameterAccess, 1);       // the link never clears it
}

TEST(Connection, AddressAndPasswordWrites) {
    SimFixture f;
    ASSERT_TRUE(f.connect(0x12));
    EXPECT_EQ(f.link.WriteAddress(0x15), -1);
    EXPECT_EQ(f.link.selectedAddress, 0x15);
    EXPECT_EQ(f.link.BusEntry(2), "12>VALVEDRV");  // the list is not changed
    ASSERT_NE(f.device(0x15), nullptr);
    EXPECT_EQ(f.device(0x12), nullptr);
    EXPECT_EQ(f.link.WritePassword(2468), -1);
    EXPECT_EQ(f.link.Password(), 2468);
    EXPECT_EQ(f.device(0x15)->password, 2468u);
    EXPECT_TRUE(f.link.RestartAndWait());  // comes back at its new address
    EXPECT_EQ(f.link.WriteAddress(64), 0);  // the device refuses it
    EXPECT_EQ(f.link.selectedAddress, 0x15);
}

TEST(Connection, FaultyLineNeverYieldsWrongValues) {
    SimFixture f;
    f.holdStill();   // every read is compared with the device's value
    ASSERT_TRUE(f.connect(1));
    ASSERT_TRUE(f.link.OpenParameterAccess(true));
    FaultOptions faults;
    faults.seed = 99;
    faults.noAnswer = 30000;
    faults.brokenMarks = 30000;
    faults.corruptAck = 100000;
    faults.parity = 20000;
    faults.framing = 20000;
    f.faults(faults);
    unsigned present = 0, failed = 0, wrong = 0;
    for (const auto& [key, p] : f.device(1)->parameters) {
        uint32_t value = 0;
        uint8_t outcome = f.link.ReadRegisterRetry(key, value);
        if (outcome == 0) {
            ++failed;
            continue;
        }
        ASSERT_EQ(outcome, 1) << std::hex << key;
        ++present;
        if (value != p.value) ++wrong;
        if (!p.onOff()) {
            EXPECT_EQ(f.link.errorFlag(), 0);
        }
    }
    EXPECT_EQ(wrong, 0u);
    EXPECT_GT(present, 300u);
    EXPECT_EQ(failed, 0u);  // ten attempts outlast these rates

    // Writes: a lost acknowledgement repeats the write, never changes its value.
    for (uint32_t v = 1; v <= 40; ++v) {
        f.link.WriteRegisterRetry(0x0106, v);
        ASSERT_EQ(f.link.errorFlag(), 0);
        EXPECT_EQ(f.param(1, 0x0106), v);
    }
    f.faultsOff();
    uint32_t value = 0;
    EXPECT_EQ(f.link.ReadRegisterRetry(0x0106, value), 1);
    EXPECT_EQ(value, 40u);
}
