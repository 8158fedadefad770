#include "files/FileNames.h"

#include <cctype>
#include <cstdio>
#include <filesystem>

#include "files/Format.h"
#include "files/LocalDate.h"
#include "texts/TextTable.h"

std::string basePath(const std::string& path) {
    // Only the file name's own extension goes: a dot in a directory name
    // ("/data/v1.2/unit") belongs to the directory.
    size_t slash = path.find_last_of('/');
    size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || dot < nameStart) return path;
    return path.substr(0, dot);
}

namespace {

bool sameLetters(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::string lowerCase(std::string text) {
    for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

std::string withExtension(const std::string& path, const std::string& extension) {
    const std::string base = basePath(path);
    const std::string own = base.size() < path.size() ? path.substr(base.size() + 1) : std::string();
    // The file itself, in whatever case its name has: "x.nfo" is read as it is.
    if (sameLetters(own, extension)) return path;
    // Its partner in the same case: "x.nfo" goes with "x.doc", "X.NFO" with
    // "X.DOC". Any other name takes the extension as given.
    const bool lower = own == lowerCase(own) && (sameLetters(own, PARAMETER_EXTENSION) ||
                                                 sameLetters(own, REPORT_EXTENSION));
    return base + "." + (lower ? lowerCase(extension) : extension);
}

std::string fileFilter(const LanguageTexts& texts, const std::string& extension) {
    return texts.messages.Lookup(32782) + " (*." + extension + ")|*." + extension + "|";
}

std::string fileNamePart(const std::string& deviceName) {
    size_t first = deviceName.find_first_not_of(" \t");
    size_t last = deviceName.find_last_not_of(" \t");
    std::string name = first == std::string::npos ? "" : deviceName.substr(first, last - first + 1);
    for (char& c : name) {
        const bool safe = std::isalnum(static_cast<unsigned char>(c)) && static_cast<unsigned char>(c) < 0x80;
        if (!safe && c != '-' && c != '_') c = '_';
    }
    return name.empty() ? std::string("device") : name;
}

std::string proposedFileName(const std::string& deviceName, uint8_t address, const LocalDate& day,
                             const std::string& extension) {
    return fileNamePart(deviceName) +
           formatText("_%02X_%04d-%02d-%02d.", static_cast<unsigned>(address), day.year, day.month, day.day) +
           extension;
}

std::string fileNameWithExtension(const std::string& path, const std::string& extension) {
    const std::string base = basePath(path);
    const size_t slash = base.find_last_of('/');
    return (slash == std::string::npos ? base : base.substr(slash + 1)) + "." + extension;
}

std::string claimFreeStem(const std::string& base, int tries) {
    std::error_code ec;
    for (int n = 1; n <= tries; ++n) {
        std::string stem = n == 1 ? base : base + "-" + std::to_string(n);
        if (std::filesystem::exists(withExtension(stem, REPORT_EXTENSION), ec)) continue;
        if (FILE* claim = std::fopen(withExtension(stem, PARAMETER_EXTENSION).c_str(), "wx")) {
            std::fclose(claim);
            return stem;
        }
    }
    return {};
}

void dropEmptyClaim(const std::string& parameterFile) {
    std::error_code ec;
    if (std::filesystem::file_size(parameterFile, ec) == 0 && !ec) std::filesystem::remove(parameterFile, ec);
}
