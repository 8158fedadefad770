#include "files/FileNames.h"

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

std::string withExtension(const std::string& path, const std::string& extension) {
    return basePath(path) + "." + extension;
}

std::string fileFilter(const LanguageTexts& texts, const std::string& extension) {
    return texts.messages.Lookup(32782) + " (*." + extension + ")|*." + extension + "|";
}
