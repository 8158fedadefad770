#pragma once
// The parameter numbers readable with normal access, collected by the first
// pass of a save and consulted by the second. Each number is held once.
#include <cstddef>
#include <cstdint>
#include <vector>

class FreeList {
public:
    void clear() { numbers_.clear(); }
    void add(uint32_t number);
    bool contains(uint32_t number) const;
    size_t size() const { return numbers_.size(); }
private:
    std::vector<uint32_t> numbers_;   // ascending
};
