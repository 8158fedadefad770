// The report on paper: page width, lines per page, the page-number footer and
// the heading of every page.
#include <gmock/gmock.h>

#include "files/ParameterFiles.h"
#include "files/ReportPages.h"
#include "files/ViewerModel.h"
#include "files_support.h"

using ::testing::ElementsAre;

class ReportPagesTest : public FilesTest {};

TEST_F(ReportPagesTest, LinesFillPagesOfFixedLengthWithNumberedFooters) {
    std::string report;
    for (int i = 1; i <= 7; ++i) report += "line " + std::to_string(i) + "\r\n";
    const auto pages = paginateReport(ctx.texts, report, 3);
    ASSERT_EQ(pages.size(), 3u);
    EXPECT_THAT(pages[0].lines, ElementsAre("line 1", "line 2", "line 3"));
    EXPECT_THAT(pages[2].lines, ElementsAre("line 7"));
    EXPECT_EQ(pages[0].footer, "Page 1 of 3");
    EXPECT_EQ(pages[2].footer, "Page 3 of 3");

    // Exactly full pages make no empty page after them; an empty report still has one.
    EXPECT_EQ(paginateReport(ctx.texts, "a\nb\nc\nd\n", 2).size(), 2u);
    const auto empty = paginateReport(ctx.texts, "", 60);
    ASSERT_EQ(empty.size(), 1u);
    EXPECT_EQ(empty[0].footer, "Page 1 of 1");
}

TEST_F(ReportPagesTest, LinesWiderThanThePageGoOnInTheNextAndTabsBecomeBlanks) {
    const std::string wide(REPORT_PAGE_COLUMNS * 2 + 5, 'x');
    const auto pages = paginateReport(ctx.texts, wide + "\nA\tB\n\nend", 60);
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_THAT(pages[0].lines, ElementsAre(std::string(75, 'x'), std::string(75, 'x'), "xxxxx", "A       B", "", "end"));
    for (const std::string& line : pages[0].lines) EXPECT_LE(line.size(), 75u);
}

// A loose page tells its device, file and date, and that its file did not verify.
TEST_F(ReportPagesTest, EveryPageHeadsWithDeviceFileAndDateAndMarksAFileThatDidNotVerify) {
    MemoryStream s = streamOf("#DATE: 07-06-2008  \n#NAME: VALVE01   \n#ADDR: 5  \n#VER.: 2  \n#REL.: 0  \n"
                              "#PVER: 3  \n#PSWD: 4  \n#CODE: 100  #DATA: 1234  \n#CODE: 102  #DATA: OFF  ");
    ASSERT_TRUE(writeSealedFile(ctx, dir.file("unit.NFO"), s));
    std::string damaged = readFile(dir.file("unit.NFO"));
    damaged.back() = damaged.back() == '0' ? '1' : '0';
    dir.write("bad.NFO", damaged);
    const std::string mark = "NOT VERIFIED: this file failed its check; its values may be wrong.";
    const std::pair<const char*, std::vector<std::string>> cases[] = {
        {"unit.NFO", {"Device VALVE01   File unit.NFO   Saved 07-06-2008", ""}},
        {"bad.NFO", {"Device VALVE01   File bad.NFO   Saved 07-06-2008", mark, ""}}};
    for (const auto& [file, heading] : cases) {
        ReportViewModel view(ctx, dir.file(file));
        const std::string report = view.open();
        const auto pages = paginateReport(ctx.texts, report, 8, view.heading());
        ASSERT_GT(pages.size(), 2u) << file;
        for (const ReportPage& page : pages) {
            EXPECT_EQ(page.heading, heading) << file;
            EXPECT_LE(page.heading.size() + page.lines.size(), 8u);
        }
    }
}
