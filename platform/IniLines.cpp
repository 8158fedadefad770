#include "platform/IniLines.h"
#include "texts/CharClass.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string trimmed(const std::string& s, size_t from, size_t to) {
    while (from < to && isBlank(s[from])) ++from;
    while (to > from && isBlank(s[to - 1])) --to;
    return s.substr(from, to - from);
}

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool IniLineReader::next(IniLine& line) {
    if (failed_ || !file_) return false;
    line.offset = offset_;
    line.length = 0;
    line.head.clear();
    line.ending.clear();
    bool lastWasCr = false;
    bool crKept = false;
    bool any = false;
    for (;;) {
        int c = getc_unlocked(file_);
        if (c == EOF) {
            if (std::ferror(file_)) {
                failed_ = true;
                return false;
            }
            break;
        }
        any = true;
        ++line.length;
        if (c == '\n') {
            line.ending = lastWasCr ? "\r\n" : "\n";
            // The CR of a CR LF belongs to the line end, not to the text.
            if (lastWasCr && crKept) line.head.pop_back();
            break;
        }
        lastWasCr = c == '\r';
        crKept = line.head.size() < INI_LINE_HEAD_LIMIT;
        if (crKept) line.head.push_back(static_cast<char>(c));
    }
    offset_ += line.length;
    return any;
}

IniParsedLine parseIniLine(const std::string& head) {
    IniParsedLine parsed;
    size_t start = 0;
    while (start < head.size() && isBlank(head[start])) ++start;
    if (start == head.size()) return parsed;
    if (head[start] == '[') {
        size_t close = head.rfind(']');
        if (close == std::string::npos || close < start) return parsed;
        parsed.kind = IniLineKind::Section;
        parsed.name = trimmed(head, start + 1, close);
        return parsed;
    }
    size_t eq = head.find('=', start);
    // A line without "=" names no key: reading it gives the default.
    if (eq == std::string::npos) return parsed;
    parsed.kind = IniLineKind::Key;
    parsed.name = trimmed(head, start, eq);
    size_t v = eq + 1;
    while (v < head.size() && (head[v] == ' ' || head[v] == '\t')) ++v;
    parsed.valueStart = v;
    parsed.value = trimmed(head, v, head.size());
    return parsed;
}

bool iniNamesEqual(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
    return true;
}

std::FILE* openRegularFileForReading(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    std::FILE* f = ::fdopen(fd, "rb");
    if (!f) ::close(fd);
    return f;
}
