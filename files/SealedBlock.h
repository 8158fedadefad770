#pragma once
// The checksum over a plain byte range.
#include <cstddef>
#include <cstdint>

#include "files/ParameterKeys.h"

// The checksum of a parameter text held in data[0, length); *consumed, when
// given, receives the number of bytes read (up to the end of the line that
// holds "#END.: ", or all of them).
uint16_t checksumOf(const uint8_t* data, size_t length, size_t* consumed = nullptr);
