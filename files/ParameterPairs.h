#pragma once
// Reading the "#CODE: "/"#DATA: " pairs of a parameter text the way the load
// reads them: each key searched from where the last one ended, the number
// read with "%x", the value with "%u" or, for an on/off parameter, as a word
// of at most three characters.
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

// What follows the first occurrence of key in text, or nothing.
std::optional<std::string_view> afterKey(std::string_view text, const char* key);

// The register a "#CODE: " number reaches: the key bytes carry the direction
// in bit 0, so an odd number reads and writes the even parameter below it.
inline uint32_t registerOfCode(uint32_t code) { return code & 0xFFFEu; }

enum class PairsEnd { Complete, BadNumber, MissingData };

// Calls visit with each pair's number and the text after its "#DATA: " until
// the text ends, a number cannot be read, a "#CODE: " has no "#DATA: " after
// it, or visit returns false (Complete then).
PairsEnd forEachParameterPair(std::string_view text,
                              const std::function<bool(uint32_t number, std::string_view value)>& visit);

// The value a pair's text gives a parameter of this kind: "%u" for a numeric
// one; for an on/off one 1 when the word begins with "ON", else 0.
std::optional<uint32_t> parameterValueOf(std::string_view text, bool onOff);

// The value text of each register a parameter text writes, in the order
// they first appear; a register listed twice (an odd number reaches the even
// one below it) holds the value written last.
std::vector<std::pair<uint32_t, std::string_view>> listedValues(std::string_view text);
