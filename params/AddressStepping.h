#pragma once
// The addresses the address dialog offers: 1 to 62, only those with an odd
// number of one bits.

#include <cstdint>

inline constexpr int LOWEST_BUS_ADDRESS = 1;
inline constexpr int HIGHEST_BUS_ADDRESS = 62;

bool hasOddOneBits(unsigned value);

// The address shown after the up-down control moved to `position` while
// `shown` was on display: positions with an even number of one bits (zero
// counts as even) are passed over in the direction of travel. The result
// stays within 1 .. 62.
uint8_t addressAfterStep(uint8_t shown, int position);
