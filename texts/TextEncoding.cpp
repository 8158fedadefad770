#include "texts/TextEncoding.h"

#include <cstdint>

char16_t windows1252Char(unsigned char b) {
    static constexpr char16_t HIGH[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
        0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
        0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
        0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    return b >= 0x80 && b < 0xA0 ? HIGH[b - 0x80] : char16_t(b);
}

bool isValidUtf8(const std::string& bytes) {
    size_t i = 0;
    const size_t n = bytes.size();
    while (i < n) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        size_t more = 0;
        uint32_t cp = 0;
        if (b < 0x80) { ++i; continue; }
        if (b >= 0xC2 && b <= 0xDF) { more = 1; cp = b & 0x1F; }
        else if (b >= 0xE0 && b <= 0xEF) { more = 2; cp = b & 0x0F; }
        else if (b >= 0xF0 && b <= 0xF4) { more = 3; cp = b & 0x07; }
        else return false;
        if (i + more >= n) return false;
        for (size_t k = 1; k <= more; ++k) {
            const auto c = static_cast<unsigned char>(bytes[i + k]);
            if ((c & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (c & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are no UTF-8.
        if ((more == 2 && cp < 0x800) || (more == 3 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += more + 1;
    }
    return true;
}

std::string languageTextAsUtf8(const std::string& bytes) {
    if (isValidUtf8(bytes)) return bytes;
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 2);
    for (char c : bytes) {
        const char16_t u = windows1252Char(static_cast<unsigned char>(c));
        if (u < 0x80) {
            out += char(u);
        } else if (u < 0x800) {
            out += char(0xC0 | (u >> 6));
            out += char(0x80 | (u & 0x3F));
        } else {
            out += char(0xE0 | (u >> 12));
            out += char(0x80 | ((u >> 6) & 0x3F));
            out += char(0x80 | (u & 0x3F));
        }
    }
    return out;
}
