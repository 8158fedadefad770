#pragma once
// Line-by-line reading of an initialisation file, with fixed memory however
// large the file or its lines are, and the meaning of each line: a section
// header "[name]", a "key=value" line, or anything else.
#include <cstdint>
#include <cstdio>
#include <string>

// Only this much of a line is kept for parsing. Longer lines are still
// counted in full (offset, length), so a rewrite copies them unchanged.
inline constexpr size_t INI_LINE_HEAD_LIMIT = 64 * 1024;

struct IniLine {
    uint64_t offset = 0;    // first byte of the line in the file
    uint64_t length = 0;    // bytes of the line including its line end
    std::string head;       // the line without its line end, cut at INI_LINE_HEAD_LIMIT
    std::string ending;     // "\r\n", "\n", or "" for a last line without one
};

class IniLineReader {
public:
    explicit IniLineReader(std::FILE* file) : file_(file) {}
    // The next line; false at the end of the file or after a read error.
    bool next(IniLine& line);
    bool failed() const { return failed_; }
private:
    std::FILE* file_;
    uint64_t offset_ = 0;
    bool failed_ = false;
};

enum class IniLineKind { Other, Section, Key };

struct IniParsedLine {
    IniLineKind kind = IniLineKind::Other;
    std::string name;         // section name or key, blanks trimmed
    std::string value;        // key value, blanks trimmed (quotes kept)
    size_t valueStart = 0;    // where the value begins in the head: after '=' and its blanks
};

IniParsedLine parseIniLine(const std::string& head);

// ASCII comparison without regard to case, as section and key names match.
bool iniNamesEqual(const std::string& a, const std::string& b);

// Opens path for reading when it is a regular file (never waits on a fifo or
// device); nullptr otherwise.
std::FILE* openRegularFileForReading(const std::string& path);
