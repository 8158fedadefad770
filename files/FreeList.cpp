#include "files/FreeList.h"

#include <algorithm>

void FreeList::add(uint32_t number) {
    auto at = std::lower_bound(numbers_.begin(), numbers_.end(), number);
    if (at != numbers_.end() && *at == number) return;
    auto index = at - numbers_.begin();
    // Room in steps of 64 entries, as the list grows one search at a time.
    if (numbers_.size() == numbers_.capacity()) numbers_.reserve(numbers_.size() + 64);
    numbers_.insert(numbers_.begin() + index, number);
}

bool FreeList::contains(uint32_t number) const {
    return std::binary_search(numbers_.begin(), numbers_.end(), number);
}
