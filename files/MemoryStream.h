#pragma once
// A growable byte buffer with a read/write position (grows in 1024-byte steps).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class MemoryStream {
public:
    explicit MemoryStream(size_t growBy = 1024) : growBy_(growBy) {}
    size_t length() const { return length_; }
    size_t position() const { return pos_; }
    void seek(size_t pos) { pos_ = pos > length_ ? length_ : pos; }
    void setLength(size_t n);
    void write(const void* data, size_t n);
    void write(const std::string& s) { write(s.data(), s.size()); }
    size_t read(void* data, size_t n);
    // The whole content, whatever the position.
    std::string str() const { return std::string(reinterpret_cast<const char*>(buf_.data()), length_); }
    const uint8_t* data() const { return buf_.data(); }
private:
    size_t growBy_;
    std::vector<uint8_t> buf_;
    size_t length_ = 0;
    size_t pos_ = 0;
};
