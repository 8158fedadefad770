// Connect and Disconnect against the simulated bus.
#include <gtest/gtest.h>

#include <deque>
#include <functional>

#include "session/ConnectCommands.h"
#include "shell_support.h"

namespace {

// The connect dialog as a script: records the list it was given and presses
// OK on the lines queued, then Cancel.
struct ScriptedChooser : DeviceChooser {
    int calls = 0;
    std::vector<std::string> shown;
    std::deque<int> picks;
    bool choose(const std::vector<std::string>& entries,
                const std::function<bool(int)>& tryLine) override {
        ++calls;
        shown = entries;
        while (!picks.empty()) {
            int line = picks.front();
            picks.pop_front();
            if (tryLine(line)) return true;
        }
        return false;
    }
};

class ConnectTest : public ::testing::Test {
protected:
    void SetUp() override {
        ctx.settings.windowTitle = "fieldservice v1.10";
        loadNumberedTexts(ctx.texts.messages, texts, "messages.test", {3, 18, 19, 769, 770, 0x8118});
        ctx.attachWindow(&op, &frame);
    }

    bool connect() { return connectCommand(ctx, 1, chooser); }

    TempDir texts;
    RecordingOperator op;
    SimulatedBus sim;
    CountingFrame frame;
    AppContext ctx{sim.link, &op};
    ScriptedChooser chooser;
};

TEST_F(ConnectTest, OneDeviceConnectsWithoutTheOperator) {
    SimDevice& d = sim.add(0x2a, "PUMPCTRL");
    d.hasRegister44 = true;
    d.register44 = 1234;
    d.password = 77;

    EXPECT_TRUE(connect());
    EXPECT_EQ(chooser.calls, 0);
    EXPECT_TRUE(frame.deviceSelected);
    EXPECT_EQ(frame.renders, 1);
    EXPECT_TRUE(op.messages.empty());
    EXPECT_FALSE(op.progressMisused);
    EXPECT_EQ(op.progressDepth, 0);
    ASSERT_EQ(op.progress.size(), 2u);
    EXPECT_EQ(op.progress[0].maximum, 64u);
    EXPECT_EQ(op.progress[0].caption, textOf(769));
    EXPECT_EQ(op.progress[1].maximum, 6u);   // the registers of the full identity read
    EXPECT_EQ(op.progress[1].caption, textOf(770));

    EXPECT_EQ(sim.link.Name(), "PUMPCTRL");
    EXPECT_EQ(sim.link.Address(), 0x2a);
    EXPECT_EQ(sim.link.Version(), 1);
    EXPECT_EQ(sim.link.Release(), 5);
    EXPECT_EQ(sim.link.ParameterVersion(), 3);
    EXPECT_EQ(sim.link.Register44(), 1234);
    EXPECT_EQ(sim.link.Register40(), -1);    // optional register missing: still connects
    EXPECT_EQ(sim.link.Password(), 77);
}

TEST_F(ConnectTest, SeveralDevicesAreListedAndTheChosenOneIsSelected) {
    sim.add(5, "FIRST");
    sim.add(0x2a, "SECOND");
    chooser.picks = {1};

    EXPECT_TRUE(connect());
    EXPECT_EQ(chooser.calls, 1);
    EXPECT_EQ(chooser.shown, (std::vector<std::string>{"05>FIRST   ", "2a>SECOND  "}));
    EXPECT_EQ(sim.link.Address(), 0x2a);
    EXPECT_EQ(sim.link.Name(), "SECOND  ");
    EXPECT_TRUE(frame.deviceSelected);
}

TEST_F(ConnectTest, CancelLeavesNothingSelectedAndThePortOpen) {
    sim.add(1, "ONE");
    sim.add(2, "TWO");

    EXPECT_FALSE(connect());
    EXPECT_EQ(chooser.calls, 1);
    EXPECT_FALSE(frame.deviceSelected);
    EXPECT_TRUE(sim.link.isOpen());
    EXPECT_TRUE(op.messages.empty());
    EXPECT_EQ(frame.renders, 1);
}

TEST_F(ConnectTest, EmptyBusShowsText19AndAPortThatWillNotOpenSaysSo) {
    EXPECT_FALSE(connect());
    EXPECT_EQ(op.texts(), std::vector<std::string>{textOf(19)});
    EXPECT_EQ(chooser.calls, 0);
    EXPECT_FALSE(frame.deviceSelected);
    EXPECT_EQ(frame.renders, 1);

    // A port that cannot be opened scans nothing and says so, not that no
    // device was found (this line cannot tell why: the general text).
    op.clear();
    sim.link.Close();
    sim.line->refuseOpen = true;
    sim.add(3, "THERE");
    EXPECT_FALSE(connect());
    EXPECT_EQ(op.texts(), std::vector<std::string>{textOf(0x8118)});
    EXPECT_EQ(chooser.calls, 0);
}

// Cancel while address 5 is asked (from the wait hook, on a bus in real time)
// lists what was found so far, even one device; before any, nothing is said.
TEST_F(ConnectTest, StoppedScanListsTheDevicesFoundSoFar) {
    SimulatedBus line(false);
    line.add(5, "FIRST");
    line.add(0x2a, "SECOND");
    AppContext real{line.link, &op};
    real.texts = ctx.texts;
    real.attachWindow(&op, &frame);
    for (uint32_t stopAt : {5u, 2u}) {
        chooser = ScriptedChooser{};
        line.link.setWaitHook([&] { line.link.scanStop = line.link.progressCounter == stopAt; });
        EXPECT_FALSE(connectCommand(real, 1, chooser));
        EXPECT_TRUE(op.texts().empty());
        EXPECT_EQ(chooser.shown, stopAt == 5u ? std::vector<std::string>{"05>FIRST   "} : std::vector<std::string>{});
    }
    line.link.setWaitHook(nullptr);
    EXPECT_EQ(line.link.ScanBus(), 2);   // no stop left over
}

TEST_F(ConnectTest, ConnectWhileThePortIsOpenRescansOnIt) {
    sim.add(4, "FIRST");
    ASSERT_TRUE(sim.link.Open(1));
    ASSERT_EQ(sim.line->opens(), 1u);
    sim.link.busListCount = 9;   // left over from an earlier scan

    EXPECT_TRUE(connect());
    EXPECT_EQ(sim.line->opens(), 1u);
    EXPECT_EQ(sim.link.BusListCount(), 1);
    EXPECT_EQ(sim.link.Address(), 4);
}

TEST_F(ConnectTest, DisconnectKeepsTheImageButNotTheAddress) {
    sim.add(9, "KEEPER");
    ASSERT_TRUE(connect());
    frame.renders = 0;

    disconnectCommand(ctx);
    EXPECT_FALSE(frame.deviceSelected);
    EXPECT_FALSE(sim.link.isOpen());
    EXPECT_EQ(frame.renders, 1);
    EXPECT_TRUE(op.messages.empty());
    EXPECT_EQ(sim.link.Address(), 0);
    EXPECT_EQ(sim.link.Name(), "KEEPER  ");
    EXPECT_EQ(sim.link.Version(), 1);
    EXPECT_EQ(sim.link.Release(), 5);

    // Nothing selected: text 18, and the port is closed all the same.
    ASSERT_TRUE(sim.link.Open(1));
    disconnectCommand(ctx);
    EXPECT_EQ(op.texts(), std::vector<std::string>{textOf(18)});
    EXPECT_FALSE(sim.link.isOpen());
    EXPECT_EQ(frame.renders, 1);
}

TEST_F(ConnectTest, FailedIdentityNeverMarksTheDeviceSelected) {
    // First a good device, so the link holds a complete image.
    sim.add(1, "GOODONE");
    ASSERT_TRUE(connect());
    disconnectCommand(ctx);

    // Then a device whose version register never answers.
    sim.bus.device(1)->vanished = true;
    SimDevice& broken = sim.add(2, "BROKEN");
    broken.mutedKeys.insert(32);
    op.clear();

    EXPECT_FALSE(connect());
    // With one device OK was pressed at once; it failed, so the list stays up.
    EXPECT_EQ(chooser.calls, 1);
    EXPECT_EQ(op.texts(), std::vector<std::string>{textOf(3)});
    EXPECT_FALSE(frame.deviceSelected);
    EXPECT_EQ(op.progressDepth, 0);

    // The operator tries again from the list: the same failure, the same message.
    op.clear();
    chooser.picks = {0};
    EXPECT_FALSE(connect());
    EXPECT_EQ(op.texts(), (std::vector<std::string>{textOf(3), textOf(3)}));
    EXPECT_FALSE(frame.deviceSelected);
}

TEST_F(ConnectTest, OkWithoutAChosenLineFails) {
    sim.add(1, "ONE");
    sim.add(2, "TWO");
    chooser.picks = {-1, 0};
    EXPECT_TRUE(connect());
    EXPECT_EQ(op.texts(), std::vector<std::string>{textOf(3)});
    EXPECT_EQ(sim.link.Address(), 1);
}

TEST_F(ConnectTest, GarbageOnTheLineEndsInAListOrText19) {
    for (uint32_t seed : {1u, 2u, 3u}) {
        // A second bus with a context of its own beside the fixture's.
        SimulatedBus noisy;
        AppContext noisyCtx(noisy.link, &op);
        noisyCtx.texts = ctx.texts;
        noisy.add(5, "NOISY");
        noisy.add(6, "NOISIER");
        FaultOptions faults;
        faults.seed = seed;
        faults.brokenMarks = 200000;
        faults.parity = 100000;
        faults.noAnswer = 200000;
        noisy.wire.setFaults(faults);
        op.clear();
        chooser = ScriptedChooser{};
        chooser.picks = {0, 1};
        CountingFrame f;
        noisyCtx.attachWindow(&op, &f);

        connectCommand(noisyCtx, 1, chooser);
        // Whatever got through: either the operator saw a list, or text 19.
        const bool listed = chooser.calls == 1 && !chooser.shown.empty();
        const bool nothing = !op.messages.empty() && op.messages.front().text == textOf(19);
        EXPECT_TRUE(listed || nothing || f.deviceSelected) << "seed " << seed;
        EXPECT_EQ(op.progressDepth, 0);
        EXPECT_EQ(f.renders, 1);
        if (f.deviceSelected) {
            EXPECT_NE(noisy.link.Address(), 0);
        }
        EXPECT_FALSE(frame.deviceSelected);   // the fixture's context saw nothing of it
    }
}

TEST_F(ConnectTest, DeviceVanishingMidScanIsLeftOut) {
    sim.add(1, "STAYS");
    SimDevice& leaving = sim.add(2, "LEAVES");
    // It goes silent while its name is being read (register 20).
    sim.wire.logSink = [&](const WireLogEntry& e) {
        if (e.fromMaster && e.byte == 20 && sim.bus.selected() == &leaving) leaving.vanished = true;
    };
    EXPECT_TRUE(connect());
    EXPECT_EQ(chooser.calls, 0);
    EXPECT_EQ(sim.link.Name(), "STAYS   ");
    EXPECT_TRUE(op.messages.empty());
}

TEST_F(ConnectTest, DeviceVanishingAfterTheScanFailsTheSelection) {
    sim.add(1, "ONE");
    sim.add(2, "TWO");
    // The operator picks the second device, which has gone silent meanwhile.
    struct VanishingChooser : ScriptedChooser {
        SimBus* bus = nullptr;
        bool choose(const std::vector<std::string>& entries,
                    const std::function<bool(int)>& tryLine) override {
            bus->device(2)->vanished = true;
            return ScriptedChooser::choose(entries, tryLine);
        }
    } vanishing;
    vanishing.bus = &sim.bus;
    vanishing.picks = {1, 0};

    EXPECT_TRUE(connectCommand(ctx, 1, vanishing));
    EXPECT_EQ(op.texts(), std::vector<std::string>{textOf(3)});
    EXPECT_EQ(sim.link.Address(), 1);
    EXPECT_TRUE(frame.deviceSelected);
}

}  // namespace
