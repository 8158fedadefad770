#pragma once
// Hand-made, bounded readers for the scanf-style conversions the parameter
// files use ("%x", "%u", "%o", "%3s", "%8s"). Each reads from the start of a
// character range, never past its end, and stops at a zero byte as a C
// string would.
//
// Numbers: leading white space (blank, tab, CR, LF, VT, FF) is skipped, then
// an optional sign, then (hexadecimal only) an optional "0x"/"0X" prefix, then
// digits as far as they fit the base. "0x" with no hexadecimal digit after it
// reads as 0, as the C library does.
// Overflow: a magnitude beyond 32 bits reads as 0xFFFFFFFF, whatever the sign
// (the C library would wrap some such values to small numbers, which would then
// reach a device as a plausible but wrong setting). Within 32 bits a "-" gives
// the two's complement, as the C library does ("-1" reads 4294967295).
//
// Words ("%Ns"): leading white space skipped, then at most N characters up to
// the next white space or zero byte.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct ScannedNumber {
    uint32_t value = 0;
    size_t used = 0;   // characters consumed from the start of the range
};

struct ScannedWord {
    std::string word;
    size_t used = 0;
};

std::optional<ScannedNumber> scanHex(std::string_view text);
std::optional<ScannedNumber> scanDecimal(std::string_view text);
std::optional<ScannedNumber> scanOctal(std::string_view text);
std::optional<ScannedWord> scanWord(std::string_view text, size_t maxChars);

// White space as the conversions skip it.
bool isScanSpace(char c);
bool isHexDigit(char c);
