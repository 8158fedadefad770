// The port layer: open and close, the echo probe, status words of single
// bytes, and the deadline timers.
#include <gtest/gtest.h>

#include "link/DeviceLink.h"
#include "sim/FaultLine.h"
#include "support/LinkOnFaultLine.h"

namespace {

using Line = LinkOnFaultLine;

// Exposes the timer fields.
struct TimerProbe : SerialLink {
    int64_t deadline(int timer) const { return timer == 1 ? deadline1 : deadline2; }
};

}  // namespace

TEST(Port, OpenAndCloseBookkeeping) {
    Line t;
    EXPECT_FALSE(t.link.Open(0));
    EXPECT_EQ(t.line->opens, 0u);
    ASSERT_TRUE(t.link.Open(5));
    EXPECT_EQ(t.line->path, "/dev/ttyS4");  // no resolver: the default name
    EXPECT_FALSE(t.link.Open(5));           // already open: nothing changes
    EXPECT_EQ(t.line->opens, 1u);
    EXPECT_TRUE(t.link.isOpen());
    EXPECT_TRUE(t.link.Close());
    EXPECT_FALSE(t.link.Close());
    EXPECT_FALSE(t.link.isOpen());

    t.link.setPortResolver([](unsigned port) { return "/dev/ttyUSB" + std::to_string(port); });
    ASSERT_TRUE(t.link.Open(3));
    EXPECT_EQ(t.line->path, "/dev/ttyUSB3");
    t.line->refuseRestore = true;
    EXPECT_FALSE(t.link.Close());  // settings not put back, but closed all the same
    EXPECT_FALSE(t.link.isOpen());

    t.line->refuseOpen = true;
    EXPECT_FALSE(t.link.Open(1));
    EXPECT_FALSE(t.link.isOpen());
}

TEST(Port, EchoProbeOnSilentEchoingAndNoisyLines) {
    {
        Line silent;
        ASSERT_TRUE(silent.link.Open(1));
        EXPECT_FALSE(silent.link.echo());
        EXPECT_EQ(silent.line->written, std::vector<uint8_t>(4, 0xFF));
        EXPECT_EQ(silent.line->readTimeouts, std::vector<uint32_t>(4, 50));
        // Four attempts of 2 ms settle, one byte and 50 ms of listening.
        EXPECT_NEAR(silent.ms(), 4 * (2 + 1.146 + 50), 0.1);
    }
    {
        Line echoing;
        echoing.line->echo = true;
        ASSERT_TRUE(echoing.link.Open(1));
        EXPECT_TRUE(echoing.link.echo());
        EXPECT_EQ(echoing.line->written.size(), 2u);  // one attempt in each phase
    }
    {
        Line noisy;
        noisy.line->noise = true;
        noisy.line->noiseSeed = 12345;
        ASSERT_TRUE(noisy.link.Open(1));
        // Phase one sees a reaction at once; phase two never a clean 0xFF
        // (the seed is chosen so that none of the four bytes is 0xFF).
        EXPECT_FALSE(noisy.link.echo());
        EXPECT_EQ(noisy.line->written.size(), 5u);
    }
    {
        Line marked;
        FaultLine::Incoming bad;
        bad.byte = 0xFF;
        bad.errors.parity = true;
        for (int i = 0; i < 5; ++i) marked.line->laterByte(bad);
        ASSERT_TRUE(marked.link.Open(1));
        EXPECT_FALSE(marked.link.echo());  // 0x40FF is not exactly 0x00FF
        EXPECT_EQ(marked.line->written.size(), 5u);
    }
}

TEST(Port, StatusWordsOfSingleBytes) {
    Line t;
    EXPECT_EQ(t.link.ReadByte(50), PortFailure);  // closed: at once, line untouched
    EXPECT_TRUE(t.line->readTimeouts.empty());
    EXPECT_EQ(t.link.WriteByte(0x55), 0);
    ASSERT_TRUE(t.link.Open(1));

    t.line->readTimeouts.clear();
    EXPECT_EQ(t.link.ReadByte(37), NoByte);
    EXPECT_EQ(t.line->readTimeouts, std::vector<uint32_t>{37});

    FaultLine::Incoming in;
    in.byte = 0x55;
    in.errors.framing = true;
    t.line->laterByte(in);
    EXPECT_EQ(t.link.ReadByte(50), 0x2055u);
    in.readFails = true;
    t.line->laterByte(in);
    EXPECT_EQ(t.link.ReadByte(50), 0x2000u);
    in = {};
    in.byte = 0x12;
    in.errors.parity = true;
    in.errors.overrun = true;
    t.line->laterByte(in);
    EXPECT_EQ(t.link.ReadByte(50), 0x5012u);
    EXPECT_TRUE(t.link.isOpen());  // line errors leave the port open

    t.line->later({0x00});
    EXPECT_EQ(t.link.IsLineQuiet(), 0);
    EXPECT_EQ(t.link.IsLineQuiet(), -1);

    EXPECT_EQ(t.link.WriteByte(0x1A5), -1);  // only the low 8 bits go out
    EXPECT_EQ(t.line->written.back(), 0xA5);

    // The error state cannot be read: a port failure, and the port closes.
    t.line->failErrorState = true;
    EXPECT_EQ(t.link.ReadByte(50), NoByte | PortFailure);
    EXPECT_FALSE(t.link.isOpen());
}

TEST(Port, WriteChecksTheEchoOnAnEchoingLine) {
    Line t;
    t.line->echo = true;
    ASSERT_TRUE(t.link.Open(1));
    ASSERT_TRUE(t.link.echo());
    EXPECT_EQ(t.link.WriteByte(0x20), -1);
    t.line->echo = false;
    t.line->later({0x21});
    EXPECT_EQ(t.link.WriteByte(0x20), 0);  // a different byte came back
    EXPECT_EQ(t.link.WriteByte(0x20), 0);  // nothing came back within 50 ms
    t.line->failWrites = true;
    t.line->echo = true;
    EXPECT_EQ(t.link.WriteByte(0x20), 0);
}

TEST(Port, DeadlineTimers) {
    // 999 ticks per second: 2 ms is 1.998 ticks, so one tick, not zero.
    auto clock = std::make_shared<VirtualClock>(999);
    TimerProbe probe;
    probe.setClock(clock);
    EXPECT_EQ(probe.StartDeadline(1, 2), -1);
    EXPECT_EQ(probe.deadline(1), 1);
    EXPECT_EQ(probe.DeadlinePassed(1), 0);
    clock->advanceToNs(1001002);  // tick 1: not yet past
    EXPECT_EQ(probe.DeadlinePassed(1), 0);
    clock->advanceToNs(2002003);  // tick 2
    EXPECT_EQ(probe.DeadlinePassed(1), -1);

    // A large timeout must not overflow: 10 s at nanosecond ticks.
    auto ns = std::make_shared<VirtualClock>();
    TimerProbe big;
    big.setClock(ns);
    ns->advanceNs(123);
    EXPECT_EQ(big.StartDeadline(2, 0xFFFFFFFFu), -1);
    EXPECT_EQ(big.deadline(2), 123 + int64_t(1000000) * 0xFFFFFFFFll);
    EXPECT_EQ(big.StartDeadline(2, 10000), -1);
    ns->advanceNs(2500000000);
    EXPECT_EQ(big.RemainingMs(), 7500);
    ns->advanceNs(8000000000);
    EXPECT_EQ(big.RemainingMs(), -500);
    EXPECT_EQ(big.DeadlinePassed(2), -1);

    // A clock that cannot be read: no deadline is set, none passes.
    ns->setBroken(true);
    int64_t before = big.deadline(1);
    EXPECT_EQ(big.StartDeadline(1, 5), 0);
    EXPECT_EQ(big.deadline(1), before);
    EXPECT_EQ(big.DeadlinePassed(1), 0);
    EXPECT_EQ(big.RemainingMs(), 0);
    EXPECT_EQ(big.StartDeadline(3, 5), 0);  // there are two timers only
}

TEST(Port, SettleWaitsTwoMillisecondsWithoutSpinning) {
    Line t;
    ASSERT_TRUE(t.link.Open(1));
    double before = t.ms();
    uint64_t reads = t.clock->reads();
    t.link.Settle();
    EXPECT_NEAR(t.ms() - before, 2.0, 0.01);
    EXPECT_LE(t.clock->reads() - reads, 3u);

    // A clock that moves on every read (999 ticks per second, one tick per
    // read) ends the wait too.
    auto stepping = std::make_shared<VirtualClock>(999, 1);
    t.link.setClock(stepping);
    t.link.Settle();
    EXPECT_GE(stepping->nowNs(), 2000000);
}
