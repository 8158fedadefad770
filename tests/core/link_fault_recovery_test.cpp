// The link after faults that leave the device in another state than the link
// believes: holding part of a request, or restarted without saying so.
#include <gtest/gtest.h>

#include "support/SimFixture.h"

namespace {

constexpr const char* kPageTwoBus = "device 5 PUMP\n param 0200 4 9\n param 0202 onoff on\n param 0206 2 1\n";

// Hands the device a byte as if the rest of an earlier request had been lost
// on the way: it now waits for the byte that completes the key.
void strayByte(SimFixture& f, uint8_t byte) { f.sim.wire.send(byte, f.sim.clock->nowNs()); }

}  // namespace

// A device holding a stray byte reads the next request shifted by one byte and
// answers part of it early; retrying within its request gap kept it shifted
// for every attempt, so a write to page 2 failed ten times in a row.
TEST(FaultRecovery, DeviceHoldingPartOfARequestGetsBackInStep) {
    SimFixture f(SimFixture::fromText, kPageTwoBus);
    ASSERT_TRUE(f.connect(5));
    ASSERT_TRUE(f.link.OpenParameterAccess(false));

    strayByte(f, 0x50);
    f.link.WriteRegisterRetry(0x0200, 0);
    EXPECT_EQ(f.link.errorFlag(), 0);
    EXPECT_EQ(f.param(5, 0x0200), 0u);

    // Back in step: the next read gets the value just written.
    uint32_t value = 0;
    EXPECT_EQ(f.link.ReadRegisterRetry(0x0200, value), 1);
    EXPECT_EQ(value, 0u);
    EXPECT_EQ(f.link.errorFlag(), 0);

    // Short answers are answers, not failures: after an on/off parameter and
    // a gap the next request follows at once.
    double before = f.virtualMs();
    EXPECT_EQ(f.link.ReadRegisterRetry(0x0202, value), 1);
    EXPECT_EQ(f.link.ReadRegisterRetry(0x0204, value), 3);
    EXPECT_EQ(f.link.ReadRegisterRetry(0x0200, value), 1);
    EXPECT_LT(f.virtualMs() - before, 20.0);
}

// The restart's acknowledgement lost: the device has restarted and forgotten
// its selection, so writing the restart again reached nobody until the 10 s
// ran out and the device was reported lost.
TEST(FaultRecovery, RestartWhoseAcknowledgementIsLostStillComesBack) {
    SimFixture f(SimFixture::fromText, kPageTwoBus);
    ASSERT_TRUE(f.connect(5));
    auto log = f.sim.wire.logSink;
    std::vector<uint8_t> sent;
    f.sim.wire.logSink = [&](const WireLogEntry& e) {
        if (log) log(e);
        if (!e.fromMaster) return;
        sent.push_back(e.byte);
        // The last byte of the first restart request: its answer is lost.
        bool restart = sent.size() >= 4 && sent[sent.size() - 4] == 0x3B && sent[sent.size() - 3] == 0x00 &&
                       sent[sent.size() - 2] == 0x05 && e.byte == 0x55;
        FaultOptions faults;
        if (restart && f.device(5)->restarts == 0) faults.noAnswer = 1000000;
        f.sim.wire.setFaults(faults);
    };
    EXPECT_EQ(f.link.RestartAndWait(), -1);
    EXPECT_GE(f.device(5)->restarts, 1u);
    EXPECT_EQ(f.link.selectedAddress, 5);
    f.sim.wire.logSink = log;
}

// The simulator's dropped bytes: a request that never reaches the bus goes
// unanswered, and the counts say where the bytes were lost.
TEST(FaultRecovery, SimulatedLineDropsBytes) {
    SimFixture f(SimFixture::fromText, kPageTwoBus);
    ASSERT_TRUE(f.connect(5));
    ASSERT_TRUE(f.link.OpenParameterAccess(false));
    FaultOptions faults;
    faults.dropByte = 1000000;
    f.faults(faults);
    EXPECT_EQ(f.link.ReadRegister(0x0200), NoByte);
    EXPECT_EQ(f.sim.wire.faultCounts().droppedToBus, 2u);
    EXPECT_EQ(f.sim.wire.faultCounts().answers, 0u);
    EXPECT_EQ(f.sim.wire.faultCounts().total(), 2u);
    f.faultsOff();
    EXPECT_EQ(f.sim.wire.faultCounts().total(), 0u);
    uint32_t value = 0;
    EXPECT_EQ(f.link.ReadRegisterRetry(0x0200, value), 1);
    EXPECT_EQ(value, 9u);
}
