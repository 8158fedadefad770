#pragma once
// Operator texts with places for values: each "%s" or "%u" takes the next
// value, in order; "%%" is one "%". A text with fewer places than values
// drops the rest, one with more leaves them empty, so a translation that
// lost a place never shows garbage.
#include <cstddef>
#include <initializer_list>
#include <string>

inline std::string fillText(const std::string& text, std::initializer_list<std::string> values);

// A count said as a person says it: the text for one where there is one
// ("1 parameter"), the other text for any other count ("3 parameters").
// Each takes the number at its first place.
inline std::string countText(const std::string& one, const std::string& many, size_t n) {
    return fillText(n == 1 ? one : many, {std::to_string(n)});
}

inline std::string fillText(const std::string& text, std::initializer_list<std::string> values) {
    std::string out;
    out.reserve(text.size() + 32);
    auto next = values.begin();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size()) {
            const char c = text[i + 1];
            if (c == '%') {
                out += '%';
                ++i;
                continue;
            }
            if (c == 's' || c == 'u') {
                if (next != values.end()) out += *next++;
                ++i;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}
