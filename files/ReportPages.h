#pragma once
// The report on paper: lines of at most one page width (75 columns; a longer
// line goes on in the next one), a fixed number of lines per page, a heading
// that tells which device and file a loose page belongs to, and a footer
// with the page number on every page. The printer and the PDF writer only
// paint what this gives.
#include <string>
#include <vector>

struct LanguageTexts;

inline constexpr int REPORT_PAGE_COLUMNS = 75;

struct ReportPage {
    std::vector<std::string> heading;   // the heading lines, then an empty one
    std::vector<std::string> lines;
    std::string footer;   // text 33131, "Page %u of %u"
};

// What every page says about where it comes from. A default one puts no
// heading on the pages.
struct ReportHeading {
    std::string device;    // the name the file was saved from
    std::string file;      // the file's name, without its folder
    std::string date;      // the date the file was saved
    bool verified = true;  // false: the file failed its check, and every page says so
};
// The heading of the report of a parameter text read from path.
ReportHeading reportHeading(const std::string& parameterText, const std::string& path, bool verified);

// The report text (CR LF or LF line ends; tabs become blanks to the next
// multiple of eight) in pages of linesPerPage lines (at least one), heading
// included. An empty report still gives one page, so a printout never comes
// out blank of its heading and footer.
std::vector<ReportPage> paginateReport(const LanguageTexts& texts, const std::string& report, int linesPerPage,
                                       const ReportHeading& heading = {}, int columns = REPORT_PAGE_COLUMNS);
