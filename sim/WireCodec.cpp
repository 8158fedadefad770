#include "sim/WireCodec.h"

namespace simwire {

unsigned digitsFor(uint32_t value) {
    if (value < 0x100u) return 2;
    if (value < 0x10000u) return 4;
    if (value < 0x1000000u) return 6;
    return 8;
}

std::vector<uint8_t> encodeValue(uint32_t value, unsigned minDigits, bool endMark) {
    unsigned n = digitsFor(value);
    if (minDigits > n) n = minDigits > 8 ? 8 : (minDigits + 1) & ~1u;
    std::vector<uint8_t> out(n);
    for (unsigned i = 0; i < n; ++i) {
        uint8_t b = uint8_t((value >> (4 * i)) & 0x0F);
        if (i & 1) b |= OddMark;
        out[i] = b;
    }
    if (endMark || n < 8) out[n - 1] |= LastMark;
    return out;
}

WriteValue decodeWrite(const std::vector<uint8_t>& bytes) {
    WriteValue w;
    std::size_t n = bytes.size();
    if (n == 1) {
        uint8_t b = bytes[0];
        // A digit stands at position 0: no odd mark, the end mark set.
        if ((b & (ClearBits | OddMark)) || !(b & LastMark)) return w;
        w.valid = true;
        w.digitForm = true;
        w.value = b & 0x0F;
        return w;
    }
    if (n < 2 || n > 8 || (n & 1)) return w;
    uint32_t value = 0;
    for (std::size_t i = 0; i < n; ++i) {
        uint8_t b = bytes[i];
        bool last = i + 1 == n;
        if (b & ClearBits) return w;
        if (bool(b & OddMark) != bool(i & 1)) return w;
        // The end mark belongs to the last byte; a string of 8 may go without.
        if (bool(b & LastMark) != last && !(last && n == 8)) return w;
        value |= uint32_t(b & 0x0F) << (4 * i);
    }
    w.valid = true;
    w.value = value;
    return w;
}

}  // namespace simwire
