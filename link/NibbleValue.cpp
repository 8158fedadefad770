#include "link/NibbleValue.h"

unsigned encodeNibbleValue(uint32_t value, uint8_t out[8]) {
    unsigned count = value < 0x100 ? 2 : value < 0x10000 ? 4 : value < 0x1000000 ? 6 : 8;
    for (unsigned i = 0; i < count; ++i) {
        uint8_t b = uint8_t((value >> (4 * i)) & 0x0F);
        if (i & 1) b |= OddDigitMark;
        if (i + 1 == count) b |= EndMark;
        out[i] = b;
    }
    return count;
}

bool decodeNibbleValue(const uint8_t* bytes, unsigned count, uint32_t& value) {
    if (count < 2 || count > 8 || (count & 1)) return false;
    uint32_t v = 0;
    for (unsigned i = 0; i < count; ++i) {
        uint8_t b = bytes[i];
        if (b & 0xA0) return false;
        if (bool(b & OddDigitMark) != bool(i & 1)) return false;
        bool last = i + 1 == count;
        if ((b & EndMark) && !last) return false;
        if (last && !(b & EndMark) && count != 8) return false;
        v |= uint32_t(b & 0x0F) << (4 * i);
    }
    value = v;
    return true;
}
