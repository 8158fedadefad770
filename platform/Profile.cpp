#include "platform/Profile.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <new>
#include <vector>

#include "platform/IniLines.h"
#include "platform/ReplaceFile.h"

namespace {

// Values are read into a buffer of 4096 characters, so at most 4095 remain.
constexpr size_t VALUE_LIMIT = 4095;

std::string cutValue(std::string s) {
    if (s.size() > VALUE_LIMIT) s.resize(VALUE_LIMIT);
    return s;
}

// A value in matching single or double quotes is read without them.
std::string unquoted(const std::string& v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        return v.substr(1, v.size() - 2);
    return v;
}

// The first key line of the name in a section of the name (sections that
// occur twice are searched in file order).
bool findValue(const std::string& path, const std::string& section, const std::string& key,
               std::string& value) {
    std::FILE* f = openRegularFileForReading(path);
    if (!f) return false;
    IniLineReader reader(f);
    IniLine line;
    bool inSection = false;
    bool found = false;
    while (!found && reader.next(line)) {
        IniParsedLine parsed = parseIniLine(line.head);
        if (parsed.kind == IniLineKind::Section) {
            inSection = iniNamesEqual(parsed.name, section);
        } else if (parsed.kind == IniLineKind::Key && inSection && iniNamesEqual(parsed.name, key)) {
            value = unquoted(parsed.value);
            found = true;
        }
    }
    std::fclose(f);
    return found;
}

// Where and how a write changes the file: the bytes [cutStart, cutEnd) are
// replaced by insert; everything else is copied unchanged.
struct ProfileEdit {
    uint64_t cutStart = 0;
    uint64_t cutEnd = 0;
    std::string insert;
};

// With remove set, a key line found is cut and nothing is added otherwise.
ProfileEdit planEdit(std::FILE* f, const std::string& section, const std::string& key,
                     const std::string& value, bool remove, bool& readOk) {
    IniLineReader reader(f);
    IniLine line;
    bool inSection = false;
    bool sectionSeen = false;
    bool keyFound = false;
    uint64_t sectionEnd = 0;            // after the header or last key line of the first matching section
    bool sectionEndHasEnding = true;
    bool firstSectionClosed = false;
    std::string eol;                    // the file's own line end, from its first line
    uint64_t size = 0;
    bool endsWithEnding = true;
    ProfileEdit edit;

    while (reader.next(line)) {
        if (eol.empty() && !line.ending.empty()) eol = line.ending;
        size = line.offset + line.length;
        endsWithEnding = !line.ending.empty();
        if (keyFound) continue;
        IniParsedLine parsed = parseIniLine(line.head);
        if (parsed.kind == IniLineKind::Section) {
            if (inSection) firstSectionClosed = true;
            inSection = iniNamesEqual(parsed.name, section);
            if (inSection && !sectionSeen) {
                sectionSeen = true;
                sectionEnd = line.offset + line.length;
                sectionEndHasEnding = !line.ending.empty();
            }
            continue;
        }
        if (!inSection) continue;
        if (parsed.kind == IniLineKind::Key && iniNamesEqual(parsed.name, key)) {
            keyFound = true;
            edit.cutStart = line.offset;
            edit.cutEnd = line.offset + line.length;
            // Keep the line's own spelling of the key and its spacing.
            if (!remove) edit.insert = line.head.substr(0, parsed.valueStart) + value + line.ending;
            continue;
        }
        // A new key goes after the last key of the section, before any
        // blank lines or comments that lead to the next section.
        if (!firstSectionClosed && parsed.kind == IniLineKind::Key) {
            sectionEnd = line.offset + line.length;
            sectionEndHasEnding = !line.ending.empty();
        }
    }
    readOk = !reader.failed();
    if (keyFound || remove) return edit;
    if (eol.empty()) eol.push_back('\n');
    std::string keyLine = key;
    keyLine += '=';
    keyLine += value;
    if (sectionSeen) {
        edit.cutStart = edit.cutEnd = sectionEnd;
        edit.insert = sectionEndHasEnding ? keyLine + eol : eol + keyLine;
        return edit;
    }
    edit.cutStart = edit.cutEnd = size;
    edit.insert = (size > 0 && !endsWithEnding ? eol : std::string()) + "[" + section + "]" + eol + keyLine + eol;
    return edit;
}

bool copyRange(std::FILE* from, std::FILE* to, uint64_t start, uint64_t end) {
    if (end <= start) return true;
    if (fseeko(from, static_cast<off_t>(start), SEEK_SET) != 0) return false;
    std::vector<char> buffer(64 * 1024);
    uint64_t left = end - start;
    while (left > 0) {
        size_t want = left < buffer.size() ? static_cast<size_t>(left) : buffer.size();
        size_t got = std::fread(buffer.data(), 1, want, from);
        if (got != want) return false;
        if (std::fwrite(buffer.data(), 1, got, to) != got) return false;
        left -= got;
    }
    return true;
}

bool hasLineBreakOrZero(const std::string& s) {
    return s.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

}  // namespace

std::string profileString(const std::string& path, const std::string& section,
                          const std::string& key, const std::string& def) {
    try {
        std::string value;
        if (findValue(path, section, key, value)) return cutValue(value);
        return cutValue(def);
    } catch (const std::bad_alloc&) {
        return cutValue(def);
    }
}

// The value is read the way the platform's profile-integer function reads
// it: blanks, an optional sign, then decimal digits as far as they go.
// "12abc" reads 12, "abc" reads 0, "-5" reads the negative number cast to
// unsigned (4294967291); digits beyond 32 bits wrap around. A missing key
// (or file) and an empty value give def.
unsigned profileInt(const std::string& path, const std::string& section,
                    const std::string& key, unsigned def) {
    std::string text;
    try {
        if (!findValue(path, section, key, text) || text.empty()) return def;
    } catch (const std::bad_alloc&) {
        return def;
    }
    size_t p = 0;
    while (p < text.size() && (text[p] == ' ' || text[p] == '\t')) ++p;
    bool negative = false;
    if (p < text.size() && (text[p] == '+' || text[p] == '-')) {
        negative = text[p] == '-';
        ++p;
    }
    uint32_t v = 0;
    for (; p < text.size() && text[p] >= '0' && text[p] <= '9'; ++p)
        v = v * 10u + static_cast<uint32_t>(text[p] - '0');
    return negative ? 0u - v : v;
}

namespace {

// Rewrites the file with key set to value (or removed); false when the file
// could not be read or replaced. A removal that finds no key leaves the
// file untouched.
bool editProfile(const std::string& path, const std::string& section, const std::string& key,
                 const std::string& value, bool remove) {
    try {
        std::FILE* old = openRegularFileForReading(path);
        if (!old) {
            // Only a missing file is created; one that exists but cannot be
            // read (or is no plain file) is never overwritten. stat, not an
            // open: opening a FIFO would wait for a writer.
            struct stat st {};
            if (::stat(path.c_str(), &st) == 0 || errno != ENOENT) return false;
            if (remove) return true;
        }
        ProfileEdit edit;
        bool readOk = true;
        if (old) edit = planEdit(old, section, key, value, remove, readOk);
        else edit.insert = "[" + section + "]\n" + key + "=" + value + "\n";
        if (!readOk) {
            std::fclose(old);
            return false;
        }
        if (remove && edit.cutStart == edit.cutEnd) {
            std::fclose(old);
            return true;
        }
        bool ok = replaceFile(path, [&](std::FILE* out) {
            if (old && !copyRange(old, out, 0, edit.cutStart)) return false;
            if (std::fwrite(edit.insert.data(), 1, edit.insert.size(), out) != edit.insert.size()) return false;
            if (!old) return true;
            if (fseeko(old, 0, SEEK_END) != 0) return false;
            off_t size = ftello(old);
            return size >= 0 && copyRange(old, out, edit.cutEnd, static_cast<uint64_t>(size));
        });
        if (old) std::fclose(old);
        return ok;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool acceptableName(const std::string& section, const std::string& key) {
    return !key.empty() && key.find('=') == std::string::npos && !hasLineBreakOrZero(key)
           && !hasLineBreakOrZero(section) && section.find(']') == std::string::npos;
}

}  // namespace

bool writeProfileString(const std::string& path, const std::string& section,
                        const std::string& key, const std::string& value) {
    // A line break would let a value (a language code taken from a file name,
    // say) write lines of its own into the file; such writes are refused.
    if (!acceptableName(section, key) || hasLineBreakOrZero(value)) return false;
    return editProfile(path, section, key, value, false);
}

std::optional<std::string> profileValue(const std::string& path, const std::string& section,
                                        const std::string& key) {
    try {
        std::string value;
        if (findValue(path, section, key, value)) return cutValue(value);
    } catch (const std::bad_alloc&) {
    }
    return std::nullopt;
}

bool removeProfileKey(const std::string& path, const std::string& section, const std::string& key) {
    if (!acceptableName(section, key)) return false;
    return editProfile(path, section, key, {}, true);
}

bool profileReadable(const std::string& path) {
    std::FILE* f = openRegularFileForReading(path);
    if (!f) return false;
    std::fclose(f);
    return true;
}
