// The parameter dialog's logic against a simulated device, without a screen.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <ostream>

#include "params/ParameterDialogModel.h"
#include "params_support.h"
#include "support/SimFixture.h"
#include "texts/TextTable.h"

namespace {

const char* const LateStartBus =
    "device 2 VALVE\n"
    " param 0104 4 1\n"
    " param 0106 onoff off\n"
    " end 0108\n";

// An operator that runs an action when a progress window with a given
// caption opens: the way a close request can arrive while the device works.
class InterruptingOperator : public RecordingOperator {
public:
    std::string trigger;
    std::function<void()> action;
    void ShowProgress(uint32_t* counter, uint32_t maximum, const std::string& caption) override {
        RecordingOperator::ShowProgress(counter, maximum, caption);
        if (action && caption == trigger) {
            auto run = std::move(action);
            action = nullptr;
            run();
        }
    }
};

struct DialogModel : ::testing::Test {
    explicit DialogModel(const char* bus = PumpBus, uint8_t address = 1)
        : fx(SimFixture::fromText, bus), address(address) {
        ctx.texts.messages.Load(FS_SOURCE_DIR "/install/messages.eng");
        EXPECT_TRUE(fx.error.empty()) << fx.error;
        EXPECT_TRUE(fx.connect(address));
        device = fx.device(address);
    }
    SimFixture fx;
    AppContext& ctx = fx.ctx;
    uint8_t address;
    SimDevice* device = nullptr;

    std::string text(uint32_t n) const { return ctx.texts.messages.Lookup(n); }
    const ParameterDialogView& open(ParameterDialogModel& m) {
        EXPECT_TRUE(m.open());
        return m.view();
    }
    bool restarted() const { return device->restarts > 0; }
    bool shown(uint32_t n) const {
        auto texts = fx.op.texts();
        return std::find(texts.begin(), texts.end(), text(n)) != texts.end();
    }
};

struct LateStartDialog : DialogModel {
    LateStartDialog() : DialogModel(LateStartBus, 2) {}
};

TEST_F(DialogModel, OpensAtTheParameterLastShown) {
    fx.frame.currentParameterNumber = 0x0104;
    ParameterDialogModel m(ctx, 0);
    const ParameterDialogView& v = open(m);
    EXPECT_TRUE(m.openingDone());
    EXPECT_EQ(v.numberText, "0104");
    EXPECT_EQ(v.valueText, "200");
    EXPECT_EQ(v.sliderMaximum, 255u);
    EXPECT_EQ(v.sliderPosition, 200u);
    EXPECT_TRUE(v.sliderEnabled);
    EXPECT_FALSE(v.valueReadOnly);
    EXPECT_FALSE(v.sendEnabled);   // a freshly shown parameter starts unsent
    EXPECT_EQ(v.spinPosition, 0x0104);
    EXPECT_EQ(v.frameCaption, text(1024));
    EXPECT_EQ(fx.op.progress.at(0).caption, text(1056));
    EXPECT_EQ(fx.op.progress.at(0).maximum, 10000u);
    EXPECT_EQ(fx.op.progress.at(1).caption, text(1064));
    EXPECT_EQ(fx.op.progress.at(1).maximum, 0x7F7Eu);
    EXPECT_FALSE(fx.op.progressMisused);
    EXPECT_TRUE(fx.op.messages.empty());
    EXPECT_EQ(ParameterDialogModel(ctx, -1).view().frameCaption, text(1063));
}

TEST_F(DialogModel, OpeningAtANumberNowUnavailableStartsAtTheFirst) {
    fx.frame.currentParameterNumber = 0x0202;   // a gap now
    fx.link.endKey = 0x0206;
    ParameterDialogModel m(ctx, 0);
    const ParameterDialogView& v = open(m);
    EXPECT_EQ(fx.frame.currentParameterNumber, 0x0100u);
    EXPECT_EQ(fx.link.endKey, 0x7F7Eu);
    EXPECT_EQ(v.numberText, "0100");
    EXPECT_EQ(v.valueText, "1000");
}

TEST_F(DialogModel, ALearnedBoundIsKeptOnlyWhileItStillEndsTheTable) {
    fx.link.OpenParameterAccess(true);
    fx.frame.currentParameterNumber = 0x0204;
    fx.link.endKey = 0x0206;
    {
        ParameterDialogModel m(ctx, 0);
        open(m);
        EXPECT_EQ(fx.link.endKey, 0x0206u);
        EXPECT_EQ(fx.frame.currentParameterNumber, 0x0204u);
        m.cancel();
    }
    // The device has grown: the old bound now answers with a value.
    device->parameters[0x0206] = SimParameter{0x0206, 2, 1, false};
    device->endKey = 0x0208;
    fx.link.endKey = 0x0206;
    ParameterDialogModel m(ctx, 0);
    open(m);
    EXPECT_EQ(fx.link.endKey, 0x7F7Eu);
    EXPECT_EQ(fx.frame.currentParameterNumber, 0x0100u);
}

TEST_F(DialogModel, SteppingPastTheLastParameterShowsTheEnd) {
    fx.frame.currentParameterNumber = 0x0204;
    ParameterDialogModel m(ctx, 0);
    const ParameterDialogView& v = open(m);
    m.spinUp();
    EXPECT_EQ(v.numberText, "0206");
    EXPECT_EQ(v.description, text(1060));
    EXPECT_EQ(v.valueText, "");
    EXPECT_TRUE(v.valueReadOnly);
    EXPECT_FALSE(v.sliderEnabled);
    EXPECT_EQ(v.sliderMaximum, 0u);
    EXPECT_FALSE(v.sendEnabled);
    EXPECT_FALSE(m.parameterShown());
    EXPECT_EQ(fx.link.endKey, 0x0206u);
    // A click into the empty field changes nothing.
    m.valueFieldClicked();
    EXPECT_EQ(v.valueText, "");
    EXPECT_FALSE(v.sendEnabled);
    // And one step back shows the last parameter again.
    m.spinDown();
    EXPECT_EQ(v.numberText, "0204");
    EXPECT_EQ(v.valueText, "9");
}

TEST_F(DialogModel, StepsCrossGapsAndPages) {
    fx.frame.currentParameterNumber = 0x0106;
    ParameterDialogModel m(ctx, 0);
    const ParameterDialogView& v = open(m);
    m.spinTo(v.spinPosition + 1);
    EXPECT_EQ(v.numberText, "017e");
    m.spinUp();
    EXPECT_EQ(v.numberText, "0200");   // extended access is open in the dialog
    m.spinTo(v.spinPosition);          // same position: nothing
    EXPECT_EQ(v.numberText, "0200");
    m.spinDown();
    m.spinDown();
    EXPECT_EQ(v.numberText, "0106");
    EXPECT_EQ(v.valueText, "4000000000");
    EXPECT_EQ(v.sliderMaximum, 4294967295u);
}

// 0x0100 answers NotAvailable: text 1059 there, whichever way it is reached.
TEST_F(LateStartDialog, AnUnavailableFirstParameter) {
    ParameterDialogModel m(ctx, 0);
    const ParameterDialogView& v = open(m);
    EXPECT_EQ(v.numberText, "0100");
    EXPECT_EQ(v.description, text(1059));
    EXPECT_TRUE(v.valueReadOnly);
    EXPECT_FALSE(v.sliderEnabled);
    m.valueFieldClicked();
    EXPECT_FALSE(v.sendEnabled);

    m.spinUp();
    EXPECT_EQ(v.numberText, "0104");   // the first available one
    EXPECT_EQ(v.valueText, "1");
    m.spinDown();
    EXPECT_EQ(v.numberText, "0100");
    EXPECT_EQ(v.description, text(1059));
}

// A typed value, by the parameter table's rule: taken as typed and sent by
// the Enter that ends the typing; clamped, said under the field, shown in
// the field by the first Enter and sent only by the second; refused, said,
// and never sent.
struct TypedCase {
    ParameterNumber number;
    const char* typed;
    EditOutcome outcome;
    const char* note;          // part of the note under the field (empty: no note)
    uint32_t sent;             // what reaches the device (clamped: after the second Enter)
    const char* shownToSend;   // the field after the first Enter of a clamped value
};

std::ostream& operator<<(std::ostream& os, const TypedCase& c) { return os << std::hex << c.number << " \"" << c.typed << "\""; }

class DialogTypedValue : public DialogModel, public ::testing::WithParamInterface<TypedCase> {};

TEST_P(DialogTypedValue, SaysWhatItWillSendBeforeItSends) {
    const TypedCase& c = GetParam();
    fx.frame.currentParameterNumber = c.number;
    ParameterDialogModel m(ctx, 0);
    const ParameterDialogView& v = open(m);
    const uint32_t before = *fx.param(1, c.number);
    m.valueFieldChanged(c.typed);
    EXPECT_EQ(v.valueText, c.typed);   // the field keeps what was typed
    EXPECT_EQ(v.valueOutcome, c.outcome);
    if (*c.note)
        EXPECT_THAT(v.valueNote, ::testing::HasSubstr(c.note));
    else
        EXPECT_EQ(v.valueNote, "");
    EXPECT_EQ(v.sendEnabled, c.outcome != EditOutcome::Refused);

    m.send();   // the Enter that ends the typing
    if (c.outcome == EditOutcome::Clamped) {
        EXPECT_EQ(fx.writes(1, c.number), 0u);
        EXPECT_EQ(v.valueText, c.shownToSend);   // now the field shows what goes out
        EXPECT_EQ(v.valueNote, std::string(c.typed) + " was typed; " + c.shownToSend +
                                   " will be sent. Send (Enter) once more to send it.");
        EXPECT_TRUE(v.sendEnabled);
    }
    if (c.outcome != EditOutcome::Accepted) m.send();   // the second Enter
    const bool sent = c.outcome != EditOutcome::Refused;
    EXPECT_EQ(fx.param(1, c.number), sent ? c.sent : before);
    EXPECT_EQ(fx.writes(1, c.number), sent ? 1u : 0u);
    EXPECT_EQ(v.sendEnabled, false);
    if (sent) {
        EXPECT_EQ(v.valueNote, "");
    } else {
        EXPECT_EQ(v.valueText, c.typed);
        EXPECT_EQ(v.sliderPosition, before);   // the value stays
    }
    EXPECT_TRUE(fx.op.messages.empty());
}

constexpr auto TAKEN = EditOutcome::Accepted;
constexpr auto REFUSED = EditOutcome::Refused;
constexpr auto CLAMPED = EditOutcome::Clamped;

INSTANTIATE_TEST_SUITE_P(
    Matrix, DialogTypedValue,
    ::testing::Values(
        TypedCase{0x0104, "42", TAKEN, "", 42, ""}, TypedCase{0x0104, " 42 ", TAKEN, "", 42, ""},
        TypedCase{0x0104, "255", TAKEN, "", 255, ""}, TypedCase{0x0104, "0", TAKEN, "", 0, ""},
        TypedCase{0x0104, "300", CLAMPED, "300 is above the range: set to 255, the largest value of 2 digits", 255,
                  "255"},
        TypedCase{0x0104, "999", CLAMPED, "set to 255", 255, "255"},
        TypedCase{0x0104, "-5", CLAMPED, "-5 is below the range: set to 0", 0, "0"},
        TypedCase{0x0100, "65536", CLAMPED, "set to 65535, the largest value of 4 digits", 65535, "65535"},
        TypedCase{0x0106, "4294967295", TAKEN, "", 4294967295u, ""},
        TypedCase{0x0106, "99999999999", CLAMPED, "set to 4294967295", 4294967295u, "4294967295"},
        TypedCase{0x0104, "12abc", REFUSED, "\"12abc\" is not a number: the value stays 200", 0, ""},
        TypedCase{0x0104, "abc", REFUSED, "\"abc\" is not a number", 0, ""},
        TypedCase{0x0104, "", REFUSED, "is not a number: the value stays 200", 0, ""},
        TypedCase{0x0104, "4 2", REFUSED, "not a number", 0, ""}),
    [](const ::testing::TestParamInfo<TypedCase>& info) { return std::to_string(info.index); });

// The slider and a value typed after a refused one: what the field shows is sent.
TEST_F(DialogModel, TheSliderAndATypedValueAfterATypoSendWhatTheFieldShows) {
    fx.frame.currentParameterNumber = 0x0104;
    ParameterDialogModel m(ctx, 0);
    const ParameterDialogView& v = open(m);
    m.valueFieldChanged("300");
    EXPECT_EQ(v.sliderPosition, 255u);   // the slider shows what would go out
    m.valueFieldChanged("");
    EXPECT_FALSE(v.sendEnabled);
    m.sliderMoved(17);
    EXPECT_EQ(v.valueText, "17");
    EXPECT_EQ(v.valueNote, "");
    m.send();
    EXPECT_EQ(fx.param(1, 0x0104), 17u);
    EXPECT_FALSE(v.sendEnabled);
    EXPECT_EQ(v.focus, DialogFocus::NumberField);
    // A clamped value typed over by one taken as typed goes at the first Enter.
    m.valueFieldChanged("999");
    m.valueFieldChanged("99");
    m.send();
    EXPECT_EQ(fx.param(1, 0x0104), 99u);
}

TEST_F(DialogModel, OnOffParameterFlipsWithAClickAndIsSentInDigitForm) {
    fx.frame.currentParameterNumber = 0x0102;
    ParameterDialogModel m(ctx, 0);
    const ParameterDialogView& v = open(m);
    EXPECT_EQ(v.valueText, text(32));
    EXPECT_EQ(v.sliderPosition, 1u);
    EXPECT_EQ(v.sliderMaximum, 1u);
    EXPECT_TRUE(v.valueReadOnly);
    m.valueFieldClicked();
    EXPECT_EQ(v.valueText, text(33));
    EXPECT_EQ(v.sliderPosition, 0u);
    EXPECT_TRUE(v.sendEnabled);

    fx.sim.clearLog();
    m.send();
    EXPECT_EQ(fx.param(1, 0x0102), 0u);
    std::vector<uint8_t> sent = fx.sim.sentBytes();
    const std::vector<uint8_t> request{0x03, 0x01, 0x10};
    EXPECT_NE(std::search(sent.begin(), sent.end(), request.begin(), request.end()), sent.end());
    EXPECT_FALSE(v.sendEnabled);
    // The slider sets it back on.
    m.sliderMoved(1);
    EXPECT_EQ(v.valueText, text(32));
    EXPECT_TRUE(v.sendEnabled);
}

TEST_F(DialogModel, AFailedSendKeepsTheButtonEnabled) {
    fx.frame.currentParameterNumber = 0x0100;
    ParameterDialogModel m(ctx, 0);
    const ParameterDialogView& v = open(m);
    m.valueFieldChanged("12");
    device->mutedKeys.insert(0x0100);
    m.send();
    EXPECT_TRUE(shown(3));
    EXPECT_TRUE(v.sendEnabled);
    EXPECT_FALSE(v.closed);
}

TEST_F(DialogModel, ARejectedTypedNumberEmptiesTheFieldsAndStepsFromTheLastShown) {
    fx.frame.currentParameterNumber = 0x0104;
    ParameterDialogModel m(ctx, 0);
    const ParameterDialogView& v = open(m);
    m.numberFieldChanged("202");   // a gap
    EXPECT_EQ(v.numberText, "202");
    EXPECT_EQ(v.description, "");
    EXPECT_EQ(v.valueText, "");
    EXPECT_TRUE(v.valueReadOnly);
    EXPECT_FALSE(v.sliderEnabled);
    EXPECT_FALSE(v.sendEnabled);
    EXPECT_FALSE(m.parameterShown());
    EXPECT_EQ(fx.frame.currentParameterNumber, 0x0104u);
    m.spinUp();
    EXPECT_EQ(v.numberText, "0106");

    m.numberFieldChanged("17f");
    EXPECT_EQ(v.numberText, "017e");   // rewritten in four-digit form
    EXPECT_EQ(v.valueText, "5");
    EXPECT_EQ(v.spinPosition, 0x017E);
    EXPECT_TRUE(fx.op.messages.empty());
}

TEST_F(DialogModel, EveryCloseAfterTheOpeningRestarts) {
    {
        ParameterDialogModel m(ctx, 0);
        open(m);
        m.cancel();   // the close box, nothing sent
        EXPECT_TRUE(m.view().closed);
        EXPECT_EQ(device->restarts, 1u);
    }
    {
        ParameterDialogModel m(ctx, 0);
        open(m);
        m.ok();
        EXPECT_TRUE(m.view().closed);
        EXPECT_EQ(device->restarts, 2u);
    }
    EXPECT_TRUE(fx.frame.deviceSelected);
    EXPECT_FALSE(fx.op.progressMisused);
}

TEST_F(DialogModel, ACloseDuringTheOpeningDoesNotRestart) {
    InterruptingOperator op;
    ctx.setOperator(&op);
    ParameterDialogModel m(ctx, 0);
    op.trigger = text(1064);
    op.action = [&] { m.cancel(); };
    EXPECT_FALSE(m.open());
    EXPECT_TRUE(m.view().closed);
    EXPECT_FALSE(m.openingDone());
    EXPECT_FALSE(restarted());
    // Nothing else runs once it has closed.
    m.spinUp();
    m.ok();
    EXPECT_FALSE(restarted());
    ctx.setOperator(&fx.op);
}

TEST_F(DialogModel, ACloseWhileASearchRunsIsCarriedOutAfterIt) {
    InterruptingOperator op;
    ctx.setOperator(&op);
    ParameterDialogModel m(ctx, 0);
    ASSERT_TRUE(m.open());
    op.trigger = text(1064);
    op.action = [&] {
        m.cancel();
        m.spinUp();   // ignored: the device is busy
    };
    m.spinUp();
    EXPECT_TRUE(m.view().closed);
    EXPECT_TRUE(restarted());
    EXPECT_EQ(fx.frame.currentParameterNumber, 0x0102u);
    ctx.setOperator(&fx.op);
}

TEST_F(DialogModel, OpeningFailures) {
    // No access: text 1057, closed, no restart.
    device->mutedKeys.insert(62);
    {
        ParameterDialogModel m(ctx, 0);
        EXPECT_FALSE(m.open());
        EXPECT_TRUE(shown(1057));
        EXPECT_TRUE(m.view().closed);
    }
    device->mutedKeys.clear();
    // The first read fails: text 3, no restart.
    fx.op.clear();
    device->mutedKeys.insert(0x0100);
    {
        ParameterDialogModel m(ctx, 0);
        EXPECT_FALSE(m.open());
        EXPECT_TRUE(shown(3));
    }
    EXPECT_FALSE(restarted());
}

TEST_F(DialogModel, ADeviceThatStopsAnsweringClosesTheDialog) {
    ParameterDialogModel m(ctx, 0);
    open(m);
    device->vanished = true;
    m.spinUp();
    EXPECT_TRUE(shown(3));
    EXPECT_TRUE(m.view().closed);
    // The restart is tried and cannot bring it back.
    EXPECT_TRUE(shown(1062));
    EXPECT_FALSE(fx.frame.deviceSelected);
    EXPECT_FALSE(fx.op.progressMisused);
    EXPECT_EQ(fx.op.progressDepth, 0);
}

}  // namespace
