#include "files/FileNames.h"

#include <cctype>

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
