// The report on paper: page width, lines per page and the page-number footer.
#include <gmock/gmock.h>

#include "files/ReportPages.h"
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
