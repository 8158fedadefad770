#include "files/ReportPages.h"

#include "texts/TextFill.h"
#include "texts/TextTable.h"

namespace {
constexpr uint32_t PAGE_FOOTER_TEXT = 33131;   // "Page %u of %u"

std::vector<std::string> paperLines(const std::string& report, size_t columns) {
    std::vector<std::string> lines;
    std::string line;
    auto finish = [&] {
        // A line wider than the page goes on in the next one.
        size_t at = 0;
        do {
            lines.push_back(line.substr(at, columns));
            at += columns;
        } while (at < line.size());
        line.clear();
    };
    for (size_t i = 0; i < report.size(); ++i) {
        const char c = report[i];
        if (c == '\r') continue;
        if (c == '\n') {
            finish();
        } else if (c == '\t') {
            do line += ' '; while (line.size() % 8 != 0);
        } else {
            line += c;
        }
    }
    if (!line.empty()) finish();
    return lines;
}
}  // namespace

std::vector<ReportPage> paginateReport(const LanguageTexts& texts, const std::string& report, int linesPerPage,
                                       int columns) {
    const size_t perPage = static_cast<size_t>(linesPerPage < 1 ? 1 : linesPerPage);
    const std::vector<std::string> lines = paperLines(report, static_cast<size_t>(columns < 1 ? 1 : columns));
    const size_t count = lines.empty() ? 1 : (lines.size() + perPage - 1) / perPage;
    std::vector<ReportPage> pages(count);
    for (size_t i = 0; i < lines.size(); ++i) pages[i / perPage].lines.push_back(lines[i]);
    const std::string footer = texts.messages.Lookup(PAGE_FOOTER_TEXT);
    for (size_t p = 0; p < count; ++p)
        pages[p].footer = fillText(footer, {std::to_string(p + 1), std::to_string(count)});
    return pages;
}
