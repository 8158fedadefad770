#include "params/NumberText.h"
#include "texts/CharClass.h"

#include <limits>

namespace {

// Skips blanks and reads an optional sign; returns the position after them.
size_t skipBlanksAndSign(const std::string& text, bool& negative) {
    size_t i = 0;
    while (i < text.size() && isBlank(text[i])) ++i;
    negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    return i;
}

}  // namespace

std::optional<uint32_t> scanHexNumber(const std::string& text) {
    bool negative = false;
    size_t i = skipBlanksAndSign(text, negative);
    // "0x" counts as a prefix only when a hex digit follows; otherwise the
    // "0" alone is the number, as the conversion reads it.
    if (i + 2 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
        hexDigit(text[i + 2]) >= 0)
        i += 2;
    uint64_t value = 0;
    bool any = false;
    bool saturated = false;
    for (; i < text.size(); ++i) {
        int d = hexDigit(text[i]);
        if (d < 0) break;
        any = true;
        if (!saturated) {
            value = value * 16 + static_cast<uint64_t>(d);
            if (value > std::numeric_limits<uint32_t>::max()) saturated = true;
        }
    }
    if (!any) return std::nullopt;
    if (saturated) return std::numeric_limits<uint32_t>::max();
    uint32_t v = static_cast<uint32_t>(value);
    return negative ? static_cast<uint32_t>(0u - v) : v;
}

std::optional<ScannedDecimal> scanDecimalNumber(const std::string& text) {
    ScannedDecimal out;
    size_t i = skipBlanksAndSign(text, out.negative);
    bool any = false;
    constexpr uint64_t top = std::numeric_limits<uint64_t>::max();
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        any = true;
        uint64_t d = static_cast<uint64_t>(text[i] - '0');
        if (out.magnitude > (top - d) / 10)
            out.magnitude = top;
        else
            out.magnitude = out.magnitude * 10 + d;
    }
    if (!any) return std::nullopt;
    if (out.magnitude == 0) out.negative = false;
    return out;
}
