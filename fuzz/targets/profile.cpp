// config.ini made of the input's bytes. Every key the file holds reads as a
// plain line-by-line reading of the file says it should (string and integer);
// then one key is written and read back, every other key keeps its value,
// and writing the same again changes no byte.
#include <string_view>
#include <utility>
#include <vector>

#include "FuzzCheck.h"
#include "FuzzSupport.h"
#include "FuzzTargets.h"
#include "platform/Profile.h"
#include "texts/CharClass.h"

namespace {

struct Entry {
    std::string section;
    std::string key;
    std::string value;   // as written in the file, blanks trimmed
};

std::string trim(std::string_view s) {
    size_t from = 0, to = s.size();
    while (from < to && isBlank(s[from])) ++from;
    while (to > from && isBlank(s[to - 1])) --to;
    return std::string(s.substr(from, to - from));
}

bool sameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = char(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = char(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

// Every key line in file order with the section it stands in: lines end at a
// line feed (a CR right before it belongs to the line end), "[name]" starts a
// section (name up to the last ']'), "key=value" is a key, anything else is
// nothing. Keys before the first section belong to none.
std::vector<Entry> keyLines(std::string_view file, bool& anySection) {
    std::vector<Entry> entries;
    std::string section;
    bool inSection = false;
    anySection = false;
    size_t pos = 0;
    while (pos < file.size()) {
        size_t nl = file.find('\n', pos);
        size_t end = nl == std::string_view::npos ? file.size() : nl;
        std::string_view line = file.substr(pos, end - pos);
        if (nl != std::string_view::npos && !line.empty() && line.back() == '\r') line.remove_suffix(1);
        pos = nl == std::string_view::npos ? file.size() : nl + 1;
        std::string whole = trim(line);
        if (whole.empty()) continue;
        size_t start = line.find_first_not_of(" \t\n\v\f\r");
        if (line[start] == '[') {
            size_t close = line.rfind(']');
            if (close == std::string_view::npos || close < start) continue;
            section = trim(line.substr(start + 1, close - start - 1));
            inSection = anySection = true;
            continue;
        }
        size_t eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        if (inSection) entries.push_back({section, trim(line.substr(start, eq - start)), trim(line.substr(eq + 1))});
    }
    return entries;
}

std::string unquote(const std::string& v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        return v.substr(1, v.size() - 2);
    return v;
}

std::string asRead(const std::string& v) {
    std::string s = unquote(v);
    if (s.size() > 4095) s.resize(4095);
    return s;
}

// What the first key line of that name in a section of that name holds, or nothing.
const Entry* firstMatch(const std::vector<Entry>& entries, const std::string& section, const std::string& key) {
    for (const Entry& e : entries)
        if (sameName(e.section, section) && sameName(e.key, key)) return &e;
    return nullptr;
}

// A decimal integer as the profile reads it: blanks and tabs, a sign, digits
// as far as they go, wrapping at 32 bits; an empty value gives def.
unsigned asInteger(const std::string& value, unsigned def) {
    std::string v = unquote(value);
    if (v.empty()) return def;
    size_t p = 0;
    while (p < v.size() && (v[p] == ' ' || v[p] == '\t')) ++p;
    bool negative = p < v.size() && v[p] == '-';
    if (p < v.size() && (v[p] == '-' || v[p] == '+')) ++p;
    uint32_t n = 0;
    while (p < v.size() && v[p] >= '0' && v[p] <= '9') n = n * 10u + uint32_t(v[p++] - '0');
    return negative ? 0u - n : n;
}

const char* const MISSING = "\x01missing";

void checkReads(const std::string& path, const std::vector<Entry>& entries, const std::string& skipSection,
                const std::string& skipKey) {
    size_t checked = 0;
    for (const Entry& e : entries) {
        if (++checked > 24) break;
        if (sameName(e.section, skipSection) && sameName(e.key, skipKey)) continue;
        const Entry* first = firstMatch(entries, e.section, e.key);
        FUZZ_CHECK(profileString(path, e.section, e.key, MISSING) == asRead(first->value));
        FUZZ_CHECK(profileInt(path, e.section, e.key, 77) == asInteger(first->value, 77));
    }
}

}  // namespace

void fuzzProfile(const uint8_t* data, size_t size) {
    static const std::string path = scratchDirectory() + "/config.ini";
    std::string_view file(reinterpret_cast<const char*>(data), size);
    FUZZ_CHECK(writeBytes(path, data, size));

    bool anySection = false;
    std::vector<Entry> entries = keyLines(file, anySection);
    checkReads(path, entries, "", "");
    // Names that are nowhere in the file give the default.
    FUZZ_CHECK(profileString(path, "no such section", "no such key", "def") == "def");
    FUZZ_CHECK(profileInt(path, "BASIC Configurations", "no such key", 9) == 9);

    // The write: one of the file's own keys (chosen by the input's length),
    // or a new key in one of its sections, or a new section; the value is the
    // input's tail.
    std::string section = "Fuzz Section", key = "fuzz_key";
    if (!entries.empty()) {
        const Entry& chosen = entries[size % entries.size()];
        section = chosen.section;
        if (size % 3 != 0) key = chosen.key;
    } else if (size % 2 && anySection) {
        section = "BASIC Configurations";
    }
    std::string value(file.substr(size - std::min<size_t>(size, 24)));
    bool refused = key.empty() || key.find('=') != std::string::npos || section.find(']') != std::string::npos;
    for (const std::string* s : {&section, &key, &value})
        if (s->find_first_of(std::string("\r\n\0", 3)) != std::string::npos) refused = true;

    bool written = writeProfileString(path, section, key, value);
    FUZZ_CHECK(written == !refused);
    if (!written) {
        FUZZ_CHECK(readBytes(path) == file);
        return;
    }
    FUZZ_CHECK(profileString(path, section, key, MISSING) == asRead(trim(value)));
    checkReads(path, entries, section, key);

    // A rewrite keeps the blanks after the line's "=" and puts the value
    // behind them, so only a value that starts with none comes out the same.
    std::string once = readBytes(path);
    FUZZ_CHECK(writeProfileString(path, section, key, value));
    if (value.empty() || (value[0] != ' ' && value[0] != '\t')) FUZZ_CHECK(readBytes(path) == once);
}
