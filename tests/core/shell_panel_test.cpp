// The device panel's rows and geometry, the menu table and the chooser
// filters: the main window's arithmetic without a screen.
#include <gtest/gtest.h>

#include <iterator>
#include <optional>
#include <vector>

#include "app/ChooserFilter.h"
#include "app/MenuTable.h"
#include "app/PanelLayout.h"
#include "app/PanelRows.h"
#include "shell_support.h"

namespace {

class PanelRowsTest : public ::testing::Test {
protected:
    void SetUp() override {
        loadNumberedTexts(languageTexts.messages, texts, "messages.test",
                          {33, 34, 35, 1058, 32768, 32769, 32770, 32771, 32773, 32774, 32775, 32787});
        texts.write("errors.test", "01A2>Pump blocked<END>\n0000>No fault<END>\n");
        ASSERT_TRUE(languageTexts.errors.Load(texts.file("errors.test")));
        link.connected = 1;
        link.deviceName = "PUMPCTRL";
        link.selectedAddress = 0x0a;
        link.version = 1;
        link.release = 5;
        link.parameterVersion = 12;
        link.password = 0;
        link.register40 = -1;
        link.register44 = -1;
    }
    TempDir texts;
    LanguageTexts languageTexts;
    DeviceLink link;
};

TEST_F(PanelRowsTest, RowsFormatTheDeviceImage) {
    std::vector<PanelRow> rows = panelRows(languageTexts, link, 0x1a2);
    ASSERT_EQ(rows.size(), 8u);
    const unsigned labels[] = {32768, 32769, 32770, 32771, 32773, 32787, 32774, 32775};
    for (size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(rows[i].label, textOf(labels[i])) << i;
    EXPECT_EQ(rows[0].value, "PUMPCTRL");
    EXPECT_EQ(rows[1].value, "0a");
    EXPECT_EQ(rows[2].value, "01.05");
    EXPECT_EQ(rows[3].value, "12");
    EXPECT_EQ(rows[4].value, textOf(33));            // password 0
    EXPECT_EQ(rows[5].value, "01a2  \"Pump blocked\"");
    EXPECT_EQ(rows[6].value, textOf(33));            // register 44 unreadable
    EXPECT_EQ(rows[7].value, textOf(33));            // register 40 unreadable

    link.password = 4711;
    link.register44 = 300;
    link.register40 = 17;
    rows = panelRows(languageTexts, link, 0);
    EXPECT_EQ(rows[4].value, "4711");
    EXPECT_EQ(rows[5].value, "0000  \"No fault\"");
    EXPECT_EQ(rows[6].value, "300h");
    EXPECT_EQ(rows[7].value, textOf(34) + " 17 " + textOf(35));
}

TEST_F(PanelRowsTest, StatusWithoutErrorTextShowsText1058) {
    EXPECT_EQ(formatStatus(languageTexts, 0x77), "0077  \"" + textOf(1058) + "\"");
    // Wider values keep all their digits.
    EXPECT_EQ(formatStatus(languageTexts, 0x12345), "12345  \"" + textOf(1058) + "\"");
}

TEST_F(PanelRowsTest, NotConnectedShowsEmptyNameAndAddressZero) {
    link.connected = 0;
    std::vector<PanelRow> rows = panelRows(languageTexts, link, 0);
    EXPECT_EQ(rows[0].value, "");
    EXPECT_EQ(rows[1].value, "00");
}

// Failed and good polls in turn: whether the status row changed after each,
// and since when it says the device does not answer.
TEST(StatusPollRecord, ThreeFailedPollsInARowShowTheFirstOnesTime) {
    struct Poll {
        const char* failedAt;   // null: a good poll reading value
        uint32_t value;
        bool changed;
        const char* since;      // null: the row shows the status
    };
    const Poll polls[] = {
        {nullptr, 0, false, nullptr},        // as at the start: nothing new
        {"10:00:01", 0, false, nullptr},
        {"10:00:02", 0, false, nullptr},
        {"10:00:03", 0, true, "10:00:01"},   // third in a row: shown, with the first one's time
        {"10:00:04", 0, false, "10:00:01"},
        {nullptr, 0, true, nullptr},         // answers again: the status is back, same value or not
        {"10:00:06", 0, false, nullptr},
        {nullptr, 7, true, nullptr},         // a run of one ends unseen; a new status shows
        {"10:00:08", 0, false, nullptr},
        {"10:00:09", 0, false, nullptr},
        {"10:00:10", 0, true, "10:00:08"},   // a new run counts its own first poll
    };
    StatusPollRecord record;
    uint32_t lastStatus = 0;
    for (size_t i = 0; i < std::size(polls); ++i) {
        const Poll& p = polls[i];
        const bool changed = p.failedAt ? record.failed(p.failedAt) : record.answered(p.value, lastStatus);
        EXPECT_EQ(changed, p.changed) << i;
        EXPECT_EQ(record.noAnswerSince(), p.since ? std::optional<std::string>(p.since) : std::nullopt) << i;
        if (!p.failedAt) {
            EXPECT_EQ(lastStatus, p.value) << i;
        }
    }
    record.clear();
    EXPECT_EQ(record.noAnswerSince(), std::nullopt);
}

TEST(PanelLayout, ColumnsWidenEquallyAndLabelsStartAtEight) {
    const PanelLayout narrow = panelLayout(544, 200, 8);
    const PanelLayout wide = panelLayout(744, 200, 8);
    EXPECT_EQ(narrow.half, 260);
    EXPECT_EQ(narrow.valueX, 276);
    EXPECT_EQ(wide.half - narrow.half, 100);
    EXPECT_EQ(wide.valueX - narrow.valueX, 100);
    EXPECT_EQ(narrow.labelClip.left, 8);
    EXPECT_EQ(wide.labelClip.left, 8);
    EXPECT_EQ(wide.labelClip.width, wide.valueClip.width);
    EXPECT_EQ(wide.valueClip.left + wide.valueClip.width, 2 * wide.half + 16);
    // An odd width halves down: both columns stay equal.
    const PanelLayout odd = panelLayout(545, 200, 8);
    EXPECT_EQ(odd.half, 260);
}

TEST(PanelLayout, TintTurnsWhiteGreyAndBlackNearlyBlack) {
    EXPECT_EQ(tintPixel(0xFFFFFF), 0xF0F0F0u);
    EXPECT_EQ(tintPixel(0x000000), 0x0F0F0Fu);
    EXPECT_EQ(tintPixel(0x123456), (~(0x123456u ^ 0xF0F0F0u)) & 0xFFFFFFu);

    // Only the rectangle changes, alpha is kept, and a rectangle reaching
    // past the buffer is cut at its edges.
    std::vector<uint32_t> pixels(5 * 4, 0xFFFFFFFFu);
    tintPixels(pixels.data(), 5, 4, 5, PanelRect{3, 2, 10, 10});
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(pixels[static_cast<size_t>(y * 5 + x)], (x >= 3 && y >= 2) ? 0xFFF0F0F0u : 0xFFFFFFFFu);
}

TEST(MainWindowGeometry, CentredWithAnArithmeticShift) {
    const PanelRect r = mainWindowRect(1280, 1024);
    EXPECT_EQ(r.left, 360);
    EXPECT_EQ(r.top, 364);
    EXPECT_EQ(r.width, 560);
    EXPECT_EQ(r.height, 296);
    // A screen smaller than the window: the shift rounds towards minus infinity.
    const PanelRect small = mainWindowRect(559, 295);
    EXPECT_EQ(small.left, -1);
    EXPECT_EQ(small.top, -1);
}

TEST(MenuTable, CompletingTheSecondMenuTwiceGivesTheSameMenu) {
    std::vector<uint32_t> items = initialMenus()[1].items;
    completeSecondMenu(items);
    const std::vector<uint32_t> once = items;
    completeSecondMenu(items);
    EXPECT_EQ(items, once);
    const std::vector<uint32_t> expected = {CMD_FILE_VIEWER, CMD_PARAMETERS, CMD_SAVE, CMD_LOAD,
                                            MENU_SEPARATOR, CMD_PASSWORD, CMD_SPECIAL_PARAMETERS,
                                            MENU_SEPARATOR, CMD_ADDRESS, MENU_SEPARATOR,
                                            CMD_BUS_MONITOR, MENU_SEPARATOR,
                                            CMD_PASSWORD_ACCESS, CMD_RESTART, MENU_SEPARATOR,
                                            CMD_PARAMETER_TABLE, CMD_COMPARE_DEVICE, CMD_COMPARE_FILES, CMD_HISTORY};
    EXPECT_EQ(once, expected);

    // The added items are found wherever they ended up.
    std::vector<uint32_t> shuffled = {CMD_RESTART, CMD_PARAMETERS, CMD_FILE_VIEWER, MENU_SEPARATOR,
                                      CMD_PASSWORD_ACCESS, MENU_SEPARATOR};
    completeSecondMenu(shuffled);
    EXPECT_EQ(shuffled, (std::vector<uint32_t>{CMD_FILE_VIEWER, CMD_PARAMETERS, MENU_SEPARATOR,
                                               MENU_SEPARATOR, CMD_PASSWORD_ACCESS, CMD_RESTART, MENU_SEPARATOR,
                                               CMD_PARAMETER_TABLE, CMD_COMPARE_DEVICE, CMD_COMPARE_FILES, CMD_HISTORY}));
    // The table group anywhere, with its separator, moves to the end.
    std::vector<uint32_t> moved = {CMD_COMPARE_FILES, CMD_PARAMETERS, MENU_SEPARATOR, CMD_PARAMETER_TABLE,
                                   CMD_COMPARE_DEVICE};
    completeSecondMenu(moved);
    EXPECT_EQ(moved, (std::vector<uint32_t>{CMD_FILE_VIEWER, CMD_PARAMETERS, MENU_SEPARATOR, CMD_PASSWORD_ACCESS,
                                            CMD_RESTART, MENU_SEPARATOR, CMD_PARAMETER_TABLE, CMD_COMPARE_DEVICE,
                                            CMD_COMPARE_FILES, CMD_HISTORY}));
}

TEST(ChooserFilter, ProgramFiltersBecomeDialogFilters) {
    EXPECT_EQ(chooserFilters("Parameter files (*.NFO)|*.NFO|"),
              std::vector<std::string>{"Parameter files (*.NFO *.nfo)"});
    EXPECT_EQ(chooserFilters("Reports|*.DOC;*.TXT|All|*.*|"),
              (std::vector<std::string>{"Reports (*.DOC *.doc *.TXT *.txt)", "All (*.*)"}));
    EXPECT_EQ(chooserFilters("|*.NFO|"), std::vector<std::string>{"(*.NFO *.nfo)"});
    EXPECT_TRUE(chooserFilters("").empty());
    EXPECT_TRUE(chooserFilters("Only a description").empty());
}

}  // namespace
