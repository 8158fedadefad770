// The boxed text report of a parameter text: a header with the device's
// identity and the date, then one row per parameter.
#include <algorithm>

#include "session/AppContext.h"
#include "files/AtomicFile.h"
#include "files/FileNames.h"
#include "files/Format.h"
#include "files/LocalDate.h"
#include "files/ParameterFiles.h"
#include "files/ParameterKeys.h"
#include "files/ReportContent.h"
#include "files/ScanfLike.h"
#include "texts/TextTable.h"

namespace {

constexpr const char* COMPANY = "QUENTARIVOLMS S.R.L.";
constexpr const char* TOP = "   +----------------------------------------------------------------------+";
constexpr const char* SEPARATOR = "\n   +--------+---------------+---------------------------------------------+";
constexpr int DESCRIPTION_WIDTH = 45;
constexpr int DESCRIPTION_LINES = 16;


// What follows the first occurrence of key in text, or nothing.
std::optional<std::string_view> afterKey(std::string_view text, const char* key) {
    size_t at = text.find(key);
    if (at == std::string_view::npos) return std::nullopt;
    return text.substr(at + KEY_SIZE);
}

// Where a key next occurs at or after a position that only moves forward.
// The text is searched again only once the position has passed the last
// occurrence found, so walking a whole text costs one pass, not one pass
// per row.
class NextOccurrence {
public:
    NextOccurrence(std::string_view text, const char* key) : text_(text), key_(key) {}
    // Distance from pos to the key's first occurrence at or after pos; npos
    // when there is none.
    size_t from(size_t pos) {
        if (!searched_ || (at_ != std::string_view::npos && at_ < pos)) {
            at_ = text_.find(key_, pos);
            searched_ = true;
        }
        return at_ == std::string_view::npos ? at_ : at_ - pos;
    }

private:
    std::string_view text_;
    std::string_view key_;
    size_t at_ = std::string_view::npos;
    bool searched_ = false;
};

// The report's text with "\n" line breaks; false when a header value is missing.
bool composeReport(const LanguageTexts& texts, const std::string& text, bool allParameters, std::string& out) {
    out = TOP;
    std::string_view whole(text);

    auto name = afterKey(whole, KEY_NAME);
    auto nameWord = name ? scanWord(*name, 8) : std::nullopt;
    if (!nameWord) return false;
    out += formatText("\n   |%-24.24s: %-8s %35.35s|", texts.messages.Lookup(32768).c_str(), nameWord->word.c_str(), COMPANY);

    auto addr = afterKey(whole, KEY_ADDR);
    auto address = addr ? scanHex(*addr) : std::nullopt;
    if (!address) return false;
    out += formatText("\n   |%-24.24s: %02x %41.41s|", texts.messages.Lookup(32769).c_str(), address->value, "");

    auto ver = afterKey(whole, KEY_VER);
    auto version = ver ? scanDecimal(*ver) : std::nullopt;
    if (!version) return false;
    out += formatText("\n   |%-24.24s: %02u", texts.messages.Lookup(32770).c_str(), version->value);
    auto rel = afterKey(whole, KEY_REL);
    auto release = rel ? scanDecimal(*rel) : std::nullopt;
    if (!release) return false;
    out += formatText(".%02u %38.38s|", release->value, "");

    LocalDate date = currentLocalDate();
    out += formatText("\n   |%-24.24s: %02d-%02d-%04d %33.33s|", texts.messages.Lookup(32777).c_str(), date.day, date.month,
                      date.year, "");
    out += SEPARATOR;
    out += formatText("\n   |%-8.8s|%-15.15s|%-45.45s|", texts.messages.Lookup(1025).c_str(), texts.messages.Lookup(1032).c_str(),
                      texts.messages.Lookup(1030).c_str());
    out += SEPARATOR;

    // Every step below cuts at least one key off the remaining text, so the
    // loop ends on any input.
    std::string_view remaining(text);
    NextOccurrence tableEnd(whole, KEY_END);
    std::vector<std::string> lines;
    for (;;) {
        std::optional<ScannedNumber> freeNumber;
        if (!allParameters) {
            auto afterFree = afterKey(remaining, KEY_FREE);
            if (!afterFree) break;
            remaining = *afterFree;
        }
        freeNumber = scanHex(remaining);
        if (allParameters || freeNumber) {
            auto afterCode = afterKey(remaining, KEY_CODE);
            if (!afterCode) break;
            remaining = *afterCode;
            auto number = scanHex(remaining);
            if (!number) break;
            if (!allParameters && number->value != freeNumber->value) break;

            if (auto afterData = afterKey(remaining, KEY_DATA)) {
                remaining = *afterData;
                std::string row = formatText("\n   |%04x    |", number->value);
                if (auto value = scanDecimal(remaining)) {
                    row += formatText("%-15u|", value->value);
                } else {
                    bool on = remaining.substr(0, 2) == "ON";
                    row += formatText("%-15.15s|", texts.messages.Lookup(on ? 32 : 33).c_str());
                }
                size_t nextKey = remaining.find('#');
                if (nextKey != std::string_view::npos) remaining = remaining.substr(nextKey);
                out += row;

                std::string description = texts.parameters.Lookup(number->value);
                if (description.empty()) description = texts.messages.Lookup(1058);
                int count = wrapText(description, lines, DESCRIPTION_WIDTH, DESCRIPTION_LINES);
                for (int i = 0; i < count; ++i) {
                    if (i > 0) out += formatText("\n   |%8s|%15s|", "", "");
                    out += formatText("%-45.45s|", lines[static_cast<size_t>(i)].c_str());
                }
                out += SEPARATOR;
            }
            if (allParameters) {
                // The table ends with the last parameter before "#END.: ".
                size_t end = tableEnd.from(static_cast<size_t>(remaining.data() - whole.data()));
                if (end == std::string_view::npos || end < KEY_SIZE) break;
            }
        }
        if (remaining.empty()) break;
    }
    return true;
}

// The file is text with Windows line ends: every line feed becomes CR LF,
// also one inside a description.
std::string withCrLf(const std::string& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 40);
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

}  // namespace

bool reportFileContent(const LanguageTexts& texts, MemoryStream& stream, bool allParameters, std::string& content) {
    size_t length = stream.length();
    std::string text(length, '\0');
    stream.seek(0);
    if (stream.read(text.data(), length) != length) return false;
    std::string report;
    if (!composeReport(texts, text, allParameters, report)) return false;
    content = withCrLf(report);
    return true;
}

bool writeReport(AppContext& ctx, const std::string& path, MemoryStream& stream, bool allParameters,
                 Durability durability) {
    std::string content;
    if (!reportFileContent(ctx.texts, stream, allParameters, content) ||
        !writeFileAtomically(withExtension(path, REPORT_EXTENSION), content, durability)) {
        ctx.showFileText(4, withExtension(path, REPORT_EXTENSION));
        return false;
    }
    return true;
}
