#include "files/ReportPages.h"

#include <filesystem>

#include "files/ParameterKeys.h"
#include "files/ParameterPairs.h"
#include "files/ScanfLike.h"
#include "texts/TextFill.h"
#include "texts/TextTable.h"

namespace {
constexpr uint32_t PAGE_FOOTER_TEXT = 33131;     // "Page %u of %u"
constexpr uint32_t PAGE_HEADING_TEXT = 33236;    // "Device %s   File %s   Saved %s"
constexpr uint32_t NOT_VERIFIED_TEXT = 33237;

// The word after a key of the parameter text; empty when there is none.
std::string keyWord(std::string_view text, const char* key, size_t maxChars) {
    auto after = afterKey(text, key);
    auto word = after ? scanWord(*after, maxChars) : std::nullopt;
    return word ? word->word : std::string();
}

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

ReportHeading reportHeading(const std::string& parameterText, const std::string& path, bool verified) {
    ReportHeading h;
    h.device = keyWord(parameterText, KEY_NAME, 8);
    h.date = keyWord(parameterText, KEY_DATE, 10);
    h.file = std::filesystem::path(path).filename().string();
    h.verified = verified;
    return h;
}

std::vector<ReportPage> paginateReport(const LanguageTexts& texts, const std::string& report, int linesPerPage,
                                       const ReportHeading& heading, int columns) {
    const size_t width = static_cast<size_t>(columns < 1 ? 1 : columns);
    std::string top;
    if (!heading.device.empty() || !heading.file.empty())
        top = fillText(texts.messages.Lookup(PAGE_HEADING_TEXT), {heading.device, heading.file, heading.date}) + "\n";
    if (!heading.verified) top += texts.messages.Lookup(NOT_VERIFIED_TEXT) + "\n";
    std::vector<std::string> headingLines = paperLines(top, width);
    if (!headingLines.empty()) headingLines.emplace_back();
    // The heading never takes the whole page.
    const int body = linesPerPage - static_cast<int>(headingLines.size());
    const size_t perPage = static_cast<size_t>(body < 1 ? 1 : body);
    const std::vector<std::string> lines = paperLines(report, width);
    const size_t count = lines.empty() ? 1 : (lines.size() + perPage - 1) / perPage;
    std::vector<ReportPage> pages(count);
    for (size_t i = 0; i < lines.size(); ++i) pages[i / perPage].lines.push_back(lines[i]);
    const std::string footer = texts.messages.Lookup(PAGE_FOOTER_TEXT);
    for (size_t p = 0; p < count; ++p) {
        pages[p].heading = headingLines;
        pages[p].footer = fillText(footer, {std::to_string(p + 1), std::to_string(count)});
    }
    return pages;
}
