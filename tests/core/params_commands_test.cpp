// The password, address and restart commands on a simulated device, and the
// address stepping of the address dialog.
#include <gtest/gtest.h>

#include <optional>

#include "params/AddressStepping.h"
#include "params/DeviceCommands.h"
#include "support/SimFixture.h"
#include "texts/TextTable.h"

namespace {

const char* const Bus =
    "device 5 PUMP\n"
    " password 1234\n"
    " param 0100 4 1\n";


// A frame that counts renderings and remembers whether the poll was allowed
// while the dialog was up.
class WatchedFrame : public FrameState {
public:
    int renders = 0;
    void RenderPanel() override { ++renders; }
};

struct Commands : ::testing::Test {
    Commands() : fx(SimFixture::fromText, Bus) {
        ctx.texts.messages.Load(FS_SOURCE_DIR "/install/messages.eng");
        EXPECT_TRUE(fx.connect(5));
        frame.deviceSelected = true;
        ctx.attachWindow(&fx.op, &frame);
        device = fx.device(5);
        fx.sim.clearLog();
    }
    std::string text(uint32_t n) const { return ctx.texts.messages.Lookup(n); }
    SimFixture fx;
    AppContext& ctx = fx.ctx;
    WatchedFrame frame;
    SimDevice* device = nullptr;
    bool idleWhileAsked = true;
    int prompts = 0;

    PasswordPrompt answer(std::optional<uint32_t> value) {
        return [this, value](uint32_t current) {
            EXPECT_EQ(current, 1234u);
            idleWhileAsked = frame.idle;
            ++prompts;
            return value;
        };
    }
    AddressPrompt address(std::optional<uint8_t> value) {
        return [this, value](uint8_t start) {
            EXPECT_EQ(start, 5);
            idleWhileAsked = frame.idle;
            ++prompts;
            return value;
        };
    }
};

TEST(AddressStepping, PassesOverEvenNumbersOfOneBits) {
    EXPECT_EQ(addressAfterStep(0x02, 0x03), 0x04);   // 0x03 has two one bits
    EXPECT_EQ(addressAfterStep(0x04, 0x03), 0x02);
    EXPECT_EQ(addressAfterStep(0x3D, 0x3E), 0x3E);
    EXPECT_EQ(addressAfterStep(0x3E, 0x3F), 0x3E);   // never beyond 0x3E
    EXPECT_EQ(addressAfterStep(0x01, 0x00), 0x01);   // never below 0x01
    EXPECT_EQ(addressAfterStep(0x3B, 0x3C), 0x3D);   // 0x3C even, 0x3D odd
    // From a start outside the offered set the first step leaves it.
    EXPECT_EQ(addressAfterStep(0x03, 0x04), 0x04);
    EXPECT_EQ(addressAfterStep(0x03, 0x02), 0x02);
    EXPECT_EQ(addressAfterStep(0x00, 0x01), 0x01);
    // Walking the whole range visits exactly the odd ones, up and down.
    int visited = 0;
    for (uint8_t a = 0x01; a < 0x3E; a = addressAfterStep(a, a + 1)) {
        EXPECT_TRUE(hasOddOneBits(a)) << int(a);
        ++visited;
    }
    EXPECT_EQ(visited + 1, 32);   // 32 addresses of 1..62 have an odd count
    for (uint8_t a = 0x3E; a > 0x01; a = addressAfterStep(a, a - 1)) EXPECT_TRUE(hasOddOneBits(a));
}

TEST(PasswordText, FieldTextsAndValues) {
    EXPECT_EQ(passwordFieldText(0), "");
    EXPECT_EQ(passwordFieldText(4711), "4711");
    EXPECT_EQ(passwordFromText(""), 0u);
    EXPECT_EQ(passwordFromText("abc"), 0u);
    EXPECT_EQ(passwordFromText("00042"), 42u);
    EXPECT_EQ(passwordFromText("99999"), 99999u);
    EXPECT_EQ(passwordFromText("99999999999999999999"), 4294967295u);
    EXPECT_EQ(addressText(0x0A), "0a");
}

// Typing is held to five digits; the text the field opened with always
// stands, so a longer stored password survives the dialog untouched.
TEST(PasswordText, FieldTakesFiveTypedDigitsAndTheOpeningText) {
    const struct {
        const char* text;
        const char* opened;
        bool accepted;
    } cases[] = {
        {"", "", true},           {"12345", "", true},        {"123456", "", false},
        {"12a", "", false},       {"123456", "123456", true}, {"1234567", "123456", false},
        {"12345", "123456", true}, {"4294967295", "4294967295", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(passwordFieldAccepts(c.text, c.opened), c.accepted) << c.text << " / " << c.opened;
}

TEST_F(Commands, ANewPasswordIsWrittenAndTheDeviceRestarted) {
    changePasswordCommand(ctx, false, answer(777u));
    EXPECT_EQ(device->password, 777u);
    EXPECT_EQ(fx.link.password, 777u);
    EXPECT_EQ(fx.op.texts(), std::vector<std::string>{text(1553)});
    EXPECT_EQ(fx.op.messages.at(0).icon, MessageIcon::Exclamation);
    EXPECT_EQ(device->restarts, 1u);
    EXPECT_TRUE(idleWhileAsked);   // 40008 leaves the poll running
    EXPECT_TRUE(frame.idle);
    EXPECT_GE(frame.renders, 1);
}

TEST_F(Commands, AnEmptyFieldWritesZero) {
    changePasswordCommand(ctx, true, answer(passwordFromText("")));
    EXPECT_EQ(device->password, 0u);
    EXPECT_EQ(fx.writes(5, 48), 1u);
    EXPECT_FALSE(idleWhileAsked);   // 40013 pauses the poll
    EXPECT_TRUE(frame.idle);
}

TEST_F(Commands, TheCurrentPasswordOrCancelSendsNothing) {
    for (bool command40013 : {false, true}) {
        changePasswordCommand(ctx, command40013, answer(1234u));
        changePasswordCommand(ctx, command40013, answer(std::nullopt));
        EXPECT_TRUE(frame.idle);
    }
    EXPECT_EQ(prompts, 4);
    EXPECT_TRUE(fx.sim.sentBytes().empty());
    EXPECT_EQ(device->restarts, 0u);
    EXPECT_TRUE(fx.op.messages.empty());
}

TEST_F(Commands, AFailedPasswordWriteStillRestarts) {
    device->mutedKeys.insert(48);
    changePasswordCommand(ctx, true, answer(1u));
    EXPECT_EQ(fx.op.texts(), std::vector<std::string>{text(3)});
    EXPECT_EQ(device->password, 1234u);
    EXPECT_EQ(device->restarts, 1u);
    EXPECT_TRUE(frame.idle);
}

TEST_F(Commands, ARestartThatDoesNotComeBackDropsTheDevice) {
    fx.sim.bus.restartSilenceNs = 30'000'000'000;   // longer than the 10 s wait
    changePasswordCommand(ctx, true, answer(1u));
    EXPECT_EQ(fx.op.texts(), (std::vector<std::string>{text(1553), text(1062)}));
    EXPECT_FALSE(frame.deviceSelected);
    EXPECT_TRUE(frame.idle);
    EXPECT_EQ(fx.op.progress.back().caption, text(1061));
    EXPECT_EQ(fx.op.progressDepth, 0);
}

TEST_F(Commands, AddressOkWritesAlsoWhenUnchanged) {
    changeAddressCommand(ctx, address(uint8_t{5}));
    EXPECT_EQ(fx.writes(5, 60), 1u);
    EXPECT_FALSE(idleWhileAsked);
    EXPECT_TRUE(frame.idle);
    EXPECT_EQ(frame.renders, 1);
    EXPECT_EQ(device->restarts, 0u);
}

TEST_F(Commands, ANewAddressIsUsedFromThenOn) {
    changeAddressCommand(ctx, address(uint8_t{0x07}));
    EXPECT_EQ(fx.link.selectedAddress, 0x07);
    EXPECT_EQ(fx.device(0x07), device);
    EXPECT_TRUE(fx.op.messages.empty());   // no success message, no restart
    EXPECT_EQ(device->restarts, 0u);
    uint32_t value = 0;
    EXPECT_EQ(fx.link.ReadRegisterRetry(32, value), 1);
}

TEST_F(Commands, AddressCancelAndFailure) {
    changeAddressCommand(ctx, address(std::nullopt));
    EXPECT_TRUE(fx.sim.sentBytes().empty());
    EXPECT_EQ(frame.renders, 1);
    EXPECT_TRUE(frame.idle);

    device->mutedKeys.insert(60);
    changeAddressCommand(ctx, address(uint8_t{0x07}));
    EXPECT_EQ(fx.op.texts(), std::vector<std::string>{text(3)});
    EXPECT_EQ(fx.link.selectedAddress, 5);
    EXPECT_EQ(frame.renders, 2);
    EXPECT_TRUE(frame.idle);
}

// Two devices at one address both stop answering: an address another device
// answers at now is written only on Yes. The bus is asked, not the last
// scan: a device come since counts, one gone since does not. The new
// address is told in passing.
TEST_F(Commands, AnAddressAnotherDeviceAnswersAtIsWrittenOnlyOnYes) {
    SimFixture two(SimFixture::fromText, "device 5 PUMP\n param 0100 4 1\ndevice 9 VALVE\ndevice 11 LATE\n");
    two.ctx.texts = ctx.texts;
    SimDevice* late = two.device(0x0b);
    late->vanished = true;   // not there at the scan
    ASSERT_TRUE(two.connect(5));
    ASSERT_EQ(two.link.BusListCount(), 2);
    SimDevice* pump = two.device(5);
    two.device(9)->vanished = true;   // gone since the scan: nothing to ask
    late->vanished = false;           // come since the scan: asked about
    changeAddressCommand(two.ctx, [](uint8_t) { return std::optional<uint8_t>(9); });
    EXPECT_TRUE(two.op.questions.empty());
    EXPECT_EQ(pump->writesByKey[60], 1u);
    EXPECT_EQ(two.link.selectedAddress, 9);
    for (bool yes : {false, true}) {
        two.op.clear();
        two.op.answers = {yes};
        changeAddressCommand(two.ctx, [](uint8_t) { return std::optional<uint8_t>(0x0b); });
        ASSERT_EQ(two.op.questions.size(), 1u);
        EXPECT_NE(two.op.questions[0].text.find("0b"), std::string::npos);
        EXPECT_EQ(pump->writesByKey[60], yes ? 2u : 1u);
        EXPECT_EQ(two.op.notices.size(), yes ? 1u : 0u);
        EXPECT_TRUE(two.op.texts().empty());
    }
}

TEST_F(Commands, RestartAsksFirst) {
    restartCommand(ctx);   // the operator answers No
    ASSERT_EQ(fx.op.questions.size(), 1u);
    EXPECT_EQ(fx.op.questions[0].text, text(21));
    EXPECT_TRUE(fx.sim.sentBytes().empty());
    EXPECT_TRUE(frame.idle);

    fx.op.answers.push_back(true);
    restartCommand(ctx);
    EXPECT_EQ(device->restarts, 1u);
    EXPECT_TRUE(frame.deviceSelected);
    EXPECT_TRUE(fx.op.messages.empty());
    EXPECT_GE(frame.renders, 1);
    EXPECT_TRUE(frame.idle);
}

}  // namespace
