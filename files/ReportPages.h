#pragma once
// The report on paper: lines of at most one page width (75 columns; a longer
// line goes on in the next one), a fixed number of lines per page, and a
// footer with the page number on every page. The printer and the PDF writer
// only paint what this gives.
#include <string>
#include <vector>

struct LanguageTexts;

inline constexpr int REPORT_PAGE_COLUMNS = 75;

struct ReportPage {
    std::vector<std::string> lines;
    std::string footer;   // text 33131, "Page %u of %u"
};

// The report text (CR LF or LF line ends; tabs become blanks to the next
// multiple of eight) in pages of linesPerPage lines (at least one). An empty
// report still gives one page, so a printout never comes out blank of its
// footer.
std::vector<ReportPage> paginateReport(const LanguageTexts& texts, const std::string& report, int linesPerPage,
                                       int columns = REPORT_PAGE_COLUMNS);
