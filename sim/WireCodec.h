#pragma once
// The bytes a device reads and writes, as the device sees them.
//
// Control bytes have bit 7 set (0x80 + address selects, 0xFF releases);
// everything else has bit 7 clear. A register request is two key bytes,
// low then high; bit 0 of the low byte asks for a write. A write carries
// either a value or a single digit.
//
// A value is a string of 4-bit digits, least significant first, one digit
// in the low half of each byte. Bit 6 marks the odd positions (1, 3, 5, 7),
// bit 4 marks the last byte, bits 7 and 5 stay clear. A value takes 2, 4,
// 6 or 8 bytes; a string of 8 may leave the end mark off its last byte.
//
//   0      -> 00 50            0x55   -> 05 55
//   1000   -> 08 4E 03 50      0xFFFF -> 0F 4F 0F 5F
//
// A single digit (a digit write, or a device's short answer) is one byte
// 0x10 + d: the end mark on position 0.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace simwire {

inline constexpr uint8_t OddMark = 0x40;
inline constexpr uint8_t LastMark = 0x10;
inline constexpr uint8_t ClearBits = 0xA0;   // bits 7 and 5, never set in a digit byte

// The fewest digits that hold value: 2, 4, 6 or 8.
unsigned digitsFor(uint32_t value);

// The bytes of value in at least minDigits digits (2, 4, 6 or 8; a value
// that needs more gets more). endMark false leaves the mark off the last
// byte, which only a string of 8 may do: shorter ones keep it.
std::vector<uint8_t> encodeValue(uint32_t value, unsigned minDigits = 2, bool endMark = true);

// One byte 0x10 + d.
inline uint8_t singleDigit(uint8_t d) { return uint8_t(LastMark | (d & 0x0F)); }

// A request's key from its two bytes (the write bit cleared).
inline uint32_t keyOf(uint8_t low, uint8_t high) { return (uint32_t(high) << 8) | (low & 0xFE); }
inline bool asksWrite(uint8_t low) { return (low & 1) != 0; }

// True when the digit bytes of a write are complete after byte (the
// count-th, counting from 1): it carries the end mark, or it is the 8th.
inline bool endsDigits(uint8_t byte, unsigned count) { return (byte & LastMark) || count >= 8; }

// What the complete digit bytes of a write say.
struct WriteValue {
    bool valid = false;
    bool digitForm = false;   // a single digit 0x10 + d rather than a value
    uint32_t value = 0;
};
WriteValue decodeWrite(const std::vector<uint8_t>& bytes);

}  // namespace simwire
