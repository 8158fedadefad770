// A language file made of the input's bytes. Load must take any regular
// file; then every lookup answers the same from the index as from the walk
// of the file, for numbers the file holds and numbers it does not.
#include <set>
#include <string_view>

#include "FuzzCheck.h"
#include "FuzzSupport.h"
#include "FuzzTargets.h"
#include "texts/CharClass.h"

namespace {

// Numbers worth looking up: each run of hexadecimal digits right before a
// '>' (what an entry's number looks like, with every shorter tail of it),
// the number each line starts with, their neighbours, and the edges.
std::set<uint32_t> candidateNumbers(std::string_view text) {
    std::set<uint32_t> numbers = {0, 1, 0x7FFFFFFF, 0x80000000u, 0xFFFFFFFFu};
    auto addRun = [&](size_t from, size_t to) {
        uint32_t v = 0;
        for (size_t i = from; i < to && i < from + 8; ++i) v = (v << 4) | uint32_t(hexDigit(text[i]));
        numbers.insert(v);
        numbers.insert(v + 1);
        numbers.insert(v - 1);
        numbers.insert(0u - v);   // what a leading minus makes of it
    };
    for (size_t gt = text.find('>'); gt != std::string_view::npos && numbers.size() < 200;
         gt = text.find('>', gt + 1)) {
        size_t p = gt;
        while (p > 0 && hexDigit(text[p - 1]) >= 0 && gt - p < 8) --p;
        addRun(p, gt);
    }
    size_t line = 0;
    while (line < text.size() && numbers.size() < 260) {
        size_t p = line;
        while (p < text.size() && isBlank(text[p])) ++p;
        size_t q = p;
        while (q < text.size() && hexDigit(text[q]) >= 0) ++q;
        if (q > p) addRun(q - p > 8 ? q - 8 : p, q);
        size_t nl = text.find('\n', line);
        if (nl == std::string_view::npos) break;
        line = nl + 1;
    }
    return numbers;
}

}  // namespace

void fuzzTextTable(const uint8_t* data, size_t size) {
    static const std::string path = scratchDirectory() + "/texts.eng";
    // One table for every input: a load must leave nothing of the last file.
    static TextTable table;
    FUZZ_CHECK(writeBytes(path, data, size));
    FUZZ_CHECK(table.Load(path) == 1);
    FUZZ_CHECK(table.loaded());

    std::string_view text(reinterpret_cast<const char*>(data), size);
    for (uint32_t n : candidateNumbers(text)) {
        std::string indexed = table.Lookup(n);
        std::string scanned = table.LookupByScan(n);
        FUZZ_CHECK(indexed == scanned);
        if (indexed.empty()) continue;
        // A text is a piece of the file that ends right before an "<END>"
        // and holds none itself.
        FUZZ_CHECK(indexed.find("<END>") == std::string::npos);
        size_t at = text.find(indexed);
        FUZZ_CHECK(at != std::string_view::npos);
        FUZZ_CHECK(text.find("<END>", at) != std::string_view::npos);
    }
}
