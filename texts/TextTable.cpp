#include "texts/TextTable.h"
#include "texts/CharClass.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <new>
#include <string_view>
#include <system_error>

namespace {

constexpr std::string_view END_MARK = "<END>";
constexpr size_t NOT_FOUND = std::string_view::npos;

// A number at pos read the way a 32-bit strtoul(..., 16) reads it: blanks,
// an optional sign, an optional 0x or 0X (taken only when a digit follows;
// "0xg" reads as 0 and stops at the x), then hexadecimal digits. A value
// that does not fit 32 bits saturates at 0xFFFFFFFF whatever its sign; a
// minus sign otherwise gives the value negated modulo 2^32. False when no
// digit can be read; end is then left alone.
bool readNumber(std::string_view text, size_t pos, uint32_t& value, size_t& end) {
    size_t p = pos;
    while (p < text.size() && isBlank(text[p])) ++p;
    bool negative = false;
    if (p < text.size() && (text[p] == '+' || text[p] == '-')) {
        negative = text[p] == '-';
        ++p;
    }
    if (p + 2 < text.size() && text[p] == '0' && (text[p + 1] == 'x' || text[p + 1] == 'X')
        && hexDigit(text[p + 2]) >= 0)
        p += 2;
    size_t first = p;
    uint32_t v = 0;
    bool overflow = false;
    for (; p < text.size(); ++p) {
        int d = hexDigit(text[p]);
        if (d < 0) break;
        if (v > (std::numeric_limits<uint32_t>::max() >> 4)) overflow = true;
        v = (v << 4) | static_cast<uint32_t>(d);
    }
    if (p == first) return false;
    if (overflow) v = std::numeric_limits<uint32_t>::max();
    else if (negative) v = 0u - v;
    value = v;
    end = p;
    return true;
}

// From the '>' at gt, back over the hexadecimal digits right before it: the
// first digit of the next entry's number (or gt itself when there is none).
size_t numberStartBefore(std::string_view text, size_t gt) {
    size_t p = gt;
    while (p > 0 && hexDigit(text[p - 1]) >= 0) --p;
    return p;
}

}  // namespace

int TextTable::Load(const std::string& fileName) {
    loaded_ = false;
    length_ = 0;
    index_.clear();
    indexed_ = false;

    // Only a regular file: a directory cannot be read, and opening a fifo
    // would wait for a writer.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(fileName, ec)) return 0;
    std::FILE* f = std::fopen(fileName.c_str(), "rb");
    if (!f) return 0;
    bool ok = false;
    if (std::fseek(f, 0, SEEK_END) == 0) {
        long size = std::ftell(f);
        // The length is held in 32 bits; a larger file is refused rather than
        // read in part.
        if (size >= 0 && static_cast<unsigned long>(size) < std::numeric_limits<uint32_t>::max()
            && std::fseek(f, 0, SEEK_SET) == 0) {
            try {
                content_.assign(static_cast<size_t>(size) + 1, '\0');
                size_t got = size > 0 ? std::fread(content_.data(), 1, static_cast<size_t>(size), f) : 0;
                if (got == static_cast<size_t>(size)) {
                    length_ = static_cast<uint32_t>(size);
                    ok = true;
                }
            } catch (const std::bad_alloc&) {
                content_.clear();
            }
        }
    }
    std::fclose(f);
    if (!ok) {
        content_.clear();
        content_.shrink_to_fit();
        return 0;
    }
    loaded_ = true;
    path_ = fileName;
    buildIndex();
    return 1;
}

// Walks the entries once as every scan walks them. A scan for any number
// visits the same entries in the same order until it meets that number, so
// the first entry of each number that the walk reaches is exactly what the
// scan would return, and a number the walk never reaches is absent. Where the
// walk stops (damage, no '>', no "<END>") every scan stops too.
void TextTable::buildIndex() {
    std::string_view text(content_.data(), length_);
    std::vector<IndexEntry> entries;
    try {
        size_t pos = 0;
        for (;;) {
            uint32_t number = 0;
            size_t end = 0;
            if (!readNumber(text, pos, number, end)) break;
            size_t gt = text.find('>', end);
            if (gt == NOT_FOUND || gt + 1 >= text.size()) break;
            pos = gt + 1;
            size_t mark = text.find(END_MARK, pos);
            // An entry without its terminator gives the empty text, the same
            // as no entry; and the walk ends there.
            if (mark == NOT_FOUND) break;
            entries.push_back({number, static_cast<uint32_t>(pos), static_cast<uint32_t>(mark - pos)});
            pos = mark + END_MARK.size();
            if (pos >= text.size()) break;
            gt = text.find('>', pos);
            if (gt == NOT_FOUND) break;
            pos = numberStartBefore(text, gt);
        }
        std::stable_sort(entries.begin(), entries.end(),
                         [](const IndexEntry& a, const IndexEntry& b) { return a.number < b.number; });
        // Equal numbers stay in file order; the first of each run wins.
        entries.erase(std::unique(entries.begin(), entries.end(),
                                  [](const IndexEntry& a, const IndexEntry& b) { return a.number == b.number; }),
                      entries.end());
        entries.shrink_to_fit();
        index_ = std::move(entries);
        indexed_ = true;
    } catch (const std::bad_alloc&) {
        index_.clear();
        indexed_ = false;
    }
}

std::string TextTable::Lookup(uint32_t number) const {
    if (!loaded_ || length_ == 0) return {};
    if (!indexed_) return LookupByScan(number);
    auto it = std::lower_bound(index_.begin(), index_.end(), number,
                               [](const IndexEntry& e, uint32_t n) { return e.number < n; });
    if (it == index_.end() || it->number != number) return {};
    return std::string(content_.data() + it->offset, it->length);
}

std::string TextTable::LookupByScan(uint32_t number) const {
    if (!loaded_ || length_ == 0) return {};
    std::string_view text(content_.data(), length_);
    size_t pos = 0;
    for (;;) {
        uint32_t n = 0;
        size_t end = 0;
        if (!readNumber(text, pos, n, end)) return {};
        size_t gt = text.find('>', end);
        if (gt == NOT_FOUND) return {};
        pos = gt + 1;
        if (pos >= text.size()) return {};
        if (n == number) {
            size_t mark = text.find(END_MARK, pos);
            if (mark == NOT_FOUND) return {};
            return std::string(text.substr(pos, mark - pos));
        }
        size_t mark = text.find(END_MARK, pos);
        if (mark == NOT_FOUND) return {};
        pos = mark + END_MARK.size();
        if (pos >= text.size()) return {};
        gt = text.find('>', pos);
        if (gt == NOT_FOUND) return {};
        pos = numberStartBefore(text, gt);
    }
}
