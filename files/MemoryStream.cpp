#include "files/MemoryStream.h"

#include <algorithm>
#include <cstring>

namespace {
// Capacity for n bytes, rounded up to whole growth steps.
size_t roundedCapacity(size_t n, size_t step) {
    if (step == 0) step = 1024;
    size_t steps = n / step + (n % step ? 1 : 0);
    return steps * step;
}
}  // namespace

void MemoryStream::setLength(size_t n) {
    if (n > buf_.size()) buf_.resize(roundedCapacity(n, growBy_), 0);
    // Bytes beyond a shortened length must not reappear when it grows again.
    if (n < length_) std::fill(buf_.begin() + static_cast<std::ptrdiff_t>(n),
                               buf_.begin() + static_cast<std::ptrdiff_t>(length_), 0);
    length_ = n;
    if (pos_ > length_) pos_ = length_;
}

void MemoryStream::write(const void* data, size_t n) {
    if (n == 0) return;
    size_t end = pos_ + n;
    if (end > buf_.size()) buf_.resize(roundedCapacity(end, growBy_), 0);
    std::memcpy(buf_.data() + pos_, data, n);
    pos_ = end;
    if (end > length_) length_ = end;
}

size_t MemoryStream::read(void* data, size_t n) {
    size_t available = length_ - pos_;
    size_t count = std::min(n, available);
    if (count) std::memcpy(data, buf_.data() + pos_, count);
    pos_ += count;
    return count;
}
