// The hand-made readers against the C library's own conversions: within 32
// bits they must read the same characters and the same value; beyond, they
// saturate.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "FuzzCheck.h"
#include "FuzzTargets.h"
#include "files/ScanfLike.h"

namespace {

void compareNumber(const std::string& cstr, std::string_view view, char conversion) {
    std::optional<ScannedNumber> mine = conversion == 'x' ? scanHex(view) : conversion == 'u' ? scanDecimal(view) : scanOctal(view);
    const char* format = conversion == 'x' ? "%llx%n" : conversion == 'u' ? "%llu%n" : "%llo%n";
    unsigned long long value = 0;
    int used = -1;
    int matched = std::sscanf(cstr.c_str(), format, &value, &used);
    FUZZ_CHECK((matched == 1) == mine.has_value());
    if (!mine) return;
    FUZZ_CHECK(static_cast<size_t>(used) == mine->used);
    size_t first = cstr.find_first_not_of(" \t\n\v\f\r");
    bool negative = first != std::string::npos && cstr[first] == '-';
    unsigned long long magnitude = negative ? 0ull - value : value;
    if (magnitude <= 0xFFFFFFFFull) {
        FUZZ_CHECK(mine->value == static_cast<uint32_t>(value));
    } else {
        FUZZ_CHECK(mine->value == 0xFFFFFFFFu);
    }
}

void compareWord(const std::string& cstr, std::string_view view, size_t width) {
    auto mine = scanWord(view, width);
    char word[16] = {};
    int used = -1;
    const char* format = width == 3 ? "%3s%n" : "%8s%n";
    int matched = std::sscanf(cstr.c_str(), format, word, &used);
    FUZZ_CHECK((matched == 1) == mine.has_value());
    FUZZ_CHECK(!mine || (mine->word == word && static_cast<size_t>(used) == mine->used));
}

}  // namespace

void fuzzScanfReaders(const uint8_t* data, size_t size) {
    std::string_view view(reinterpret_cast<const char*>(data), size);
    // The C library sees a C string: up to the first zero byte.
    std::string cstr(view.data(), strnlen(view.data(), size));
    compareNumber(cstr, view, 'x');
    compareNumber(cstr, view, 'u');
    compareNumber(cstr, view, 'o');
    compareWord(cstr, view, 3);
    compareWord(cstr, view, 8);
}
