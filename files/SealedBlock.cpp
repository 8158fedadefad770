#include "files/SealedBlock.h"

#include <cstring>

#include "files/ParameterFiles.h"

void sealBytes(uint32_t seed, uint8_t* bytes, size_t count) {
    uint8_t key[4];
    for (unsigned i = 0; i < 4; ++i) key[i] = static_cast<uint8_t>(((seed >> (8 * i)) ^ (SEAL_MASK >> (8 * i))) & 0xFF);
    // The key phase starts at the block's first byte, wherever the block lies.
    for (size_t j = 0; j < count; ++j) bytes[j] ^= key[j % 4];
}

uint16_t checksumOf(const uint8_t* data, size_t length, size_t* consumed) {
    uint32_t sum = CHECKSUM_START;
    size_t pos = 0;
    while (pos < length) {
        const uint8_t* nl = static_cast<const uint8_t*>(std::memchr(data + pos, '\n', length - pos));
        size_t lineEnd = nl ? static_cast<size_t>(nl - data) + 1 : length;
        uint32_t lineSum = 0;
        bool endSeen = false;
        for (size_t i = pos; i < lineEnd; ++i) {
            if (data[i] == ';') break;   // a comment: the rest of the line does not count
            if (lineEnd - i >= KEY_SIZE && std::memcmp(data + i, KEY_END, KEY_SIZE) == 0) {
                endSeen = true;
                break;
            }
            // Only printable ASCII counts: line ends, tabs and bytes of 0x80
            // and above (negative as signed characters) are left out.
            if (static_cast<int8_t>(data[i]) >= 0x20) lineSum += data[i];
        }
        sum += lineSum;
        pos = lineEnd;
        if (endSeen) break;
    }
    if (consumed) *consumed = pos;
    return static_cast<uint16_t>(~sum & 0xFFFF);
}

uint16_t textChecksum(MemoryStream& stream) {
    size_t consumed = 0;
    uint16_t sum = checksumOf(stream.data(), stream.length(), &consumed);
    stream.seek(consumed);
    return sum;
}

long findBytes(const uint8_t* data, size_t length, const std::string& needle) {
    if (needle.size() > length) return -1;
    if (needle.empty()) return 0;
    const uint8_t first = static_cast<uint8_t>(needle[0]);
    size_t last = length - needle.size();
    for (size_t pos = 0; pos <= last;) {
        const void* hit = std::memchr(data + pos, first, last - pos + 1);
        if (!hit) return -1;
        pos = static_cast<size_t>(static_cast<const uint8_t*>(hit) - data);
        if (std::memcmp(data + pos, needle.data(), needle.size()) == 0) return static_cast<long>(pos);
        ++pos;
    }
    return -1;
}
