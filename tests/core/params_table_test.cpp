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
    bool* cancelFlag = nullptr;
    void ShowCancellableProgress(uint32_t* counter, uint32_t maximum, const std::string& caption,
                                 bool* cancelled) override {
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

struct EditCase {
    const char* number;   // the row
    const char* typed;
    const char* shown;    // what the cell shows afterwards
    bool changed;
};

class ParameterTableEditTest : public ParameterTableTest, public ::testing::WithParamInterface<EditCase> {};

TEST_P(ParameterTableEditTest, ValuesFollowTheParameterDialogsRules) {
    ParameterTable table(sim->ctx);
    table.read();
    const EditCase& c = GetParam();
    size_t row = 0;
    while (table.numberText(row) != c.number) ++row;
    EXPECT_EQ(table.setValueText(row, c.typed), c.shown);
    EXPECT_EQ(table.rows()[row].changed(), c.changed);
}

INSTANTIATE_TEST_SUITE_P(
    Matrix, ParameterTableEditTest,
    ::testing::Values(EditCase{"0104", "12", "12", true},           // 2 digits
                      EditCase{"0104", "300", "255", true},         // clamped to the digits
                      EditCase{"0104", "abc", "0", true},           // unreadable counts as 0
                      EditCase{"0104", "200", "200", false},        // back to the device's value
                      EditCase{"0106", "4294967295", "4294967295", true},
                      EditCase{"0102", "off", "Off", true},         // the word in any case
                      EditCase{"0102", " ON ", "On", false},
                      EditCase{"0102", "maybe", "On", false}));     // anything else: unchanged

TEST_F(ParameterTableTest, WriteChangesWritesOnlyTheChangedOnesThenRestartsOnce) {
    ParameterTable table(sim->ctx);
    table.read();
    table.setValueText(2, "300");   // 0104: clamped to 255
    table.setValueText(1, "Off");   // 0102
    table.setValueText(5, "7");     // 0200: unchanged
    EXPECT_EQ(table.writeChanges(), 2u);
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
    EXPECT_EQ(table.writeChanges(), 1u);
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

    table.setValueText(0, "12");
    const std::string csv = table.csv();
    EXPECT_EQ(csv.substr(0, csv.find("\r\n", csv.find("\r\n") + 2) + 2),
              "Number,Description,Value,Kind,Access\r\n"
              "0100,\"Pump speed setpoint, percent of the rated speed.\",12,4 digits,free\r\n");
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 8);
}
