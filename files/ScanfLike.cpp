#include "files/ScanfLike.h"

namespace {

int digitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 99;
}

size_t skipSpace(std::string_view text, size_t i) {
    while (i < text.size() && isScanSpace(text[i])) ++i;
    return i;
}

std::optional<ScannedNumber> scanNumber(std::string_view text, unsigned base) {
    size_t i = skipSpace(text, 0);
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    bool prefixDigit = false;   // the "0" of a "0x" prefix counts as a digit
    if (base == 16 && i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        i += 2;
        prefixDigit = true;
    }
    uint64_t magnitude = 0;
    bool overflow = false;
    size_t digits = 0;
    while (i < text.size()) {
        int d = digitValue(text[i]);
        if (d >= static_cast<int>(base)) break;
        if (!overflow) {
            magnitude = magnitude * base + static_cast<unsigned>(d);
            if (magnitude > 0xFFFFFFFFull) overflow = true;
        }
        ++digits;
        ++i;
    }
    if (digits == 0 && !prefixDigit) return std::nullopt;
    ScannedNumber out;
    out.used = i;
    if (overflow) {
        out.value = 0xFFFFFFFFu;
    } else {
        uint32_t v = static_cast<uint32_t>(magnitude);
        out.value = negative ? static_cast<uint32_t>(0u - v) : v;
    }
    return out;
}

}  // namespace

bool isScanSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isHexDigit(char c) { return digitValue(c) < 16; }

std::optional<ScannedNumber> scanHex(std::string_view text) { return scanNumber(text, 16); }
std::optional<ScannedNumber> scanDecimal(std::string_view text) { return scanNumber(text, 10); }
std::optional<ScannedNumber> scanOctal(std::string_view text) { return scanNumber(text, 8); }

std::optional<ScannedWord> scanWord(std::string_view text, size_t maxChars) {
    size_t i = skipSpace(text, 0);
    size_t start = i;
    while (i < text.size() && i - start < maxChars && text[i] != '\0' && !isScanSpace(text[i])) ++i;
    if (i == start) return std::nullopt;
    return ScannedWord{std::string(text.substr(start, i - start)), i};
}
