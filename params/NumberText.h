#pragma once
// Reading numbers typed by the operator the way the C conversions "%x" and
// "%u" read them, without their undefined corners: a value too large for 32
// bits never wraps into a small one.

#include <cstdint>
#include <optional>
#include <string>

// "%x" into 32 bits: leading white space skipped, an optional sign, an
// optional 0x/0X prefix, then hexadecimal digits as far as they go. Nothing
// when no digit can be read. Digits beyond 32 bits saturate at 0xFFFFFFFF
// (the glibc strtoul result for such texts) instead of keeping a random low
// part; a leading minus negates modulo 2^32 as the conversion does.
std::optional<uint32_t> scanHexNumber(const std::string& text);

// "%u" with clamping: leading white space skipped, an optional sign, decimal
// digits as far as they go. Nothing when no digit can be read. The value
// saturates at UINT64_MAX; a leading minus gives a negative flag instead of
// the conversion's wrap-around.
struct ScannedDecimal {
    uint64_t magnitude = 0;
    bool negative = false;
};
std::optional<ScannedDecimal> scanDecimalNumber(const std::string& text);
