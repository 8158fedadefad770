#pragma once
// Values on the bus travel as strings of 4-bit digits, least significant
// first, one digit per byte: bit 6 marks the odd positions, bit 4 the last
// byte, bits 7 and 5 stay clear. A value takes 2, 4, 6 or 8 bytes.
#include <cstdint>

inline constexpr uint8_t OddDigitMark = 0x40;
inline constexpr uint8_t EndMark = 0x10;

// Writes the bytes of value into out (room for 8) and returns their number:
// 2 below 0x100, 4 below 0x10000, 6 below 0x1000000, else 8.
unsigned encodeNibbleValue(uint32_t value, uint8_t out[8]);

// Reads a complete string of digit bytes as a device would receive it: even
// length of 2 to 8, marks in their places, the end mark on the last byte
// only (an 8-byte string may leave it off). False for anything else.
bool decodeNibbleValue(const uint8_t* bytes, unsigned count, uint32_t& value);
