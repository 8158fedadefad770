// The whole parameter table of a simulated device: the walk and its Cancel,
// the edit rules, the filter, writing the changes and the CSV.
#include <gmock/gmock.h>

#include "files_support.h"
#include "params/ParameterTable.h"
#include "params_support.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

// An operator whose progress window has a Cancel button the test can press.
class CancellingOperator : public RecordingOperator {
public:
    std::atomic<bool>* cancelFlag = nullptr;
    void ShowCancellableProgress(uint32_t* counter, uint32_t maximum, const std::string& caption,
                                 std::atomic<bool>* cancelled) override {
        cancelFlag = cancelled;
        ShowProgress(counter, maximum, caption);
    }
};

std::vector<std::string> numbersOf(const ParameterTable& table) {
    std::vector<std::string> out;
    for (size_t i = 0; i < table.rows().size(); ++i) out.push_back(table.numberText(i));
    return out;
}

}  // namespace

class ParameterTableTest : public FilesOnBusTest {
protected:
    void SetUp() override {
        FilesOnBusTest::SetUp();
        connect(PumpBus, 1);
        sim->ctx.setOperator(&cancelling);
    }
    CancellingOperator cancelling;
};

TEST_F(ParameterTableTest, WalkReadsEveryParameterWithItsKindAndAccess) {
    ParameterTable table(sim->ctx);
    EXPECT_EQ(table.read().end, WalkEnd::Complete);
    EXPECT_THAT(cancelling.texts(), IsEmpty());
    EXPECT_THAT(numbersOf(table), ElementsAre("0100", "0102", "0104", "0106", "017e", "0200", "0204"));
    std::vector<std::string> shown;
    for (size_t i = 0; i < table.rows().size(); ++i)
        shown.push_back(table.valueText(i) + " " + table.kindText(i) + " " + table.accessText(i));
    EXPECT_THAT(shown, ElementsAre("1000 4 digits free", "On on/off free", "200 2 digits free",
                                   "4000000000 8 digits free", "5 4 digits free", "7 2 digits extended",
                                   "9 4 digits free"));
    EXPECT_FALSE(cancelling.progressMisused);

    // Closing without a write restarts the device once, for the access the walk opened.
    table.close();
    table.close();
    EXPECT_EQ(sim->device(1)->restarts, 1u);
}

TEST_F(ParameterTableTest, CancelStopsAfterTheReadUnderWay) {
    ParameterTable table(sim->ctx);
    WalkOptions options;
    unsigned valueReads = 0;
    options.onRead = [&](ParameterNumber) {
        // The second walk reads the values; the button is pressed during its second read.
        if (cancelling.progress.back().caption == "Reading the parameter values" && ++valueReads == 2)
            *cancelling.cancelFlag = true;
    };
    const WalkResult result = table.read(options);
    EXPECT_EQ(result.end, WalkEnd::Cancelled);
    EXPECT_EQ(result.stoppedAt, 0x104u);
    EXPECT_THAT(numbersOf(table), ElementsAre("0100", "0102"));
    EXPECT_THAT(cancelling.texts(), IsEmpty());
    EXPECT_EQ(cancelling.progressDepth, 0);
    table.close();
    EXPECT_EQ(sim->device(1)->restarts, 1u);
}

// One parameter of every width a device sends, and an on/off one.
const char* const WidthsBus =
    "device 1 WIDTHS\n"
    " param 0100 2 3\n"
    " param 0102 4 3\n"
    " param 0104 6 3\n"
    " param 0106 8 3\n"
    " param 0108 onoff on\n"
    " end 010a\n";

struct EditCase {
    const char* number;   // the row
    const char* typed;
    const char* shown;    // what the cell shows afterwards
    EditOutcome outcome;
    const char* reason;   // a part of the reason given
};

class ParameterTableEditTest : public FilesOnBusTest, public ::testing::WithParamInterface<EditCase> {};

TEST_P(ParameterTableEditTest, TyposAreRefusedAndOutOfRangeValuesClampedVisibly) {
    connect(WidthsBus, 1);
    RecordingOperator op;
    sim->ctx.setOperator(&op);
    ParameterTable table(sim->ctx);
    table.read();
    const EditCase& c = GetParam();
    size_t row = 0;
    while (table.numberText(row) != c.number) ++row;
    const EditResult edit = table.editValue(row, c.typed);
    EXPECT_EQ(edit.shown, c.shown);
    EXPECT_EQ(edit.outcome, c.outcome);
    EXPECT_THAT(edit.reason, ::testing::HasSubstr(c.reason));
    if (c.outcome == EditOutcome::Refused) {
        EXPECT_THAT(table.writePlan(), IsEmpty());   // nothing to write
    }
}

constexpr auto OK = EditOutcome::Accepted;
constexpr auto NO = EditOutcome::Refused;
constexpr auto CLAMP = EditOutcome::Clamped;

INSTANTIATE_TEST_SUITE_P(
    Matrix, ParameterTableEditTest,
    ::testing::Values(EditCase{"0102", "abc", "3", NO, "\"abc\" is not a number"}, EditCase{"0102", "", "3", NO, "not a"},
                      EditCase{"0102", "12abc", "3", NO, "not a number"}, EditCase{"0102", " 12 ", "12", OK, ""},
                      EditCase{"0102", "-5", "0", CLAMP, "below the range"},
                      // Typed values of 1 to 8 digits against each width.
                      EditCase{"0100", "9", "9", OK, ""}, EditCase{"0100", "255", "255", OK, ""},
                      EditCase{"0100", "256", "255", CLAMP, "set to 255, the largest value of 2 digits"},
                      EditCase{"0102", "4096", "4096", OK, ""}, EditCase{"0102", "65536", "65535", CLAMP, "set to 65535"},
                      EditCase{"0104", "999999", "999999", OK, ""}, EditCase{"0104", "16777216", "16777215", CLAMP, "16777215"},
                      EditCase{"0106", "12345678", "12345678", OK, ""}, EditCase{"0106", "4294967295", "4294967295", OK, ""},
                      EditCase{"0106", "99999999999", "4294967295", CLAMP, "set to 4294967295"},
                      // On/off: the device's words in any case, or the digit.
                      EditCase{"0108", "OFF", "Off", OK, ""}, EditCase{"0108", "0", "Off", OK, ""},
                      EditCase{"0108", "maybe", "On", NO, "is neither On nor Off"}, EditCase{"0108", "", "On", NO, "neither"}),
    [](const ::testing::TestParamInfo<EditCase>& info) {
        return std::to_string(info.index) + "_" + info.param.number;
    });

TEST_F(ParameterTableTest, WriteChangesWritesOnlyTheChangedOnesThenRestartsOnce) {
    ParameterTable table(sim->ctx);
    table.read();
    table.setValueText(2, "300");   // 0104: clamped to 255
    table.setValueText(1, "Off");   // 0102
    table.setValueText(5, "7");     // 0200: unchanged
    EXPECT_THAT(table.writePlanText(), ::testing::HasSubstr("0104  "));
    EXPECT_EQ(table.writeChanges().written, 2u);
    EXPECT_THAT(cancelling.texts(), IsEmpty());
    EXPECT_EQ(sim->writes(1, 0x104), 1u);
    EXPECT_EQ(sim->writes(1, 0x102), 1u);
    EXPECT_EQ(sim->param(1, 0x104), 255u);
    EXPECT_EQ(sim->param(1, 0x102), 0u);
    EXPECT_EQ(sim->device(1)->restarts, 1u);
    EXPECT_THAT(cancelling.notices, ElementsAre("Wrote 2"));
    EXPECT_EQ(table.changedCount(), 0u);

    // A second round opens the access the restart closed, and restarts again.
    table.setValueText(0, "42");
    EXPECT_EQ(table.writeChanges().written, 1u);
    EXPECT_EQ(sim->param(1, 0x100), 42u);
    EXPECT_EQ(sim->device(1)->restarts, 2u);
    table.close();   // nothing owed
    EXPECT_EQ(sim->device(1)->restarts, 2u);
}

TEST_F(ParameterTableTest, FilterByNumberOrWordsAndCsv) {
    ParameterTable table(sim->ctx);
    table.read();
    auto matching = [&](const std::string& filter) {
        std::vector<std::string> out;
        for (size_t i = 0; i < table.rows().size(); ++i)
            if (table.matches(i, filter)) out.push_back(table.numberText(i));
        return out;
    };
    EXPECT_THAT(matching("020"), ElementsAre("0200", "0204"));
    EXPECT_THAT(matching("0x17"), ElementsAre("017e"));           // leading zeros left out
    EXPECT_THAT(matching("02"), ElementsAre("0104", "0200", "0204"));   // 0104's description has "word02"
    EXPECT_THAT(matching("RATED pump"), ElementsAre("0100"));
    EXPECT_THAT(matching("pump nothing"), IsEmpty());

    // The value column holds the device's value; the unwritten edit goes beside it.
    table.setValueText(0, "12");
    const std::string csv = table.csv();
    EXPECT_EQ(csv.substr(0, csv.find("\r\n", csv.find("\r\n") + 2) + 2),
              "Number,Description,Value,Pending (not written),Kind,Access\r\n"
              "0100,\"Pump speed setpoint, percent of the rated speed.\",1000,12,4 digits,free\r\n");
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 8);
    const std::string shown = table.csv("020");
    EXPECT_EQ(std::count(shown.begin(), shown.end(), '\n'), 3);
}

// A write the device does not answer halfway: the rows before it are written
// and marked, the message names the parameter, and it and the rest stay pending.
TEST_F(ParameterTableTest, WriteFailingMidwayLeavesTheRestPending) {
    ParameterTable table(sim->ctx);
    table.read();
    table.setValueText(0, "11");   // 0100
    table.setValueText(2, "22");   // 0104: muted below
    table.setValueText(3, "33");   // 0106
    sim->device(1)->mutedKeys.insert(0x104);
    const WriteOutcome outcome = table.writeChanges();
    EXPECT_EQ(outcome.written, 1u);
    EXPECT_TRUE(outcome.failed);
    EXPECT_EQ(table.numberText(outcome.failedRow), "0104");
    EXPECT_EQ(outcome.pending, 2u);
    EXPECT_EQ(sim->param(1, 0x100), 11u);
    EXPECT_EQ(sim->writes(1, 0x106), 0u);   // nothing goes out after the failure
    EXPECT_TRUE(table.rows()[0].written);
    EXPECT_FALSE(table.rows()[2].written);
    ASSERT_THAT(cancelling.texts(), ::testing::SizeIs(1));
    EXPECT_THAT(cancelling.texts()[0], ::testing::HasSubstr("Writing 0104"));
    EXPECT_THAT(table.writePlan(), ::testing::SizeIs(2));
    table.revert(2);   // the operator drops the refused edit; one stays pending
    EXPECT_THAT(table.writePlan(), ::testing::SizeIs(1));
    EXPECT_EQ(table.valueText(2), "200");
}
