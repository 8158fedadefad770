#include "params/AddressStepping.h"

#include <bit>

bool hasOddOneBits(unsigned value) { return (std::popcount(value) & 1) != 0; }

uint8_t addressAfterStep(uint8_t shown, int position) {
    int p = position;
    if (p < LOWEST_BUS_ADDRESS) p = LOWEST_BUS_ADDRESS;
    if (p > HIGHEST_BUS_ADDRESS) p = HIGHEST_BUS_ADDRESS;
    const int step = p < shown ? -1 : 1;
    // 1 and 62 both have an odd number of one bits, so the walk ends inside
    // the range in either direction; the bounds check is only a backstop.
    while (!hasOddOneBits(static_cast<unsigned>(p))) {
        int next = p + step;
        if (next < LOWEST_BUS_ADDRESS || next > HIGHEST_BUS_ADDRESS) break;
        p = next;
    }
    return static_cast<uint8_t>(p);
}
