#include "app/ChooserFilter.h"

#include <cctype>

namespace {

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : text) {
        if (c == separator) {
            parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty()) parts.push_back(part);
    return parts;
}

std::string trimmed(const std::string& text) {
    size_t begin = text.find_first_not_of(' ');
    if (begin == std::string::npos) return {};
    size_t end = text.find_last_not_of(' ');
    return text.substr(begin, end - begin + 1);
}

std::string lowered(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

std::vector<std::string> chooserFilters(const std::string& filter) {
    std::vector<std::string> lines;
    const std::vector<std::string> parts = split(filter, '|');
    for (size_t i = 0; i + 1 < parts.size(); i += 2) {
        std::string description = trimmed(parts[i]);
        // The dialog reads its patterns from the last bracket group: replace
        // the one the description may already carry.
        if (!description.empty() && description.back() == ')') {
            size_t open = description.rfind('(');
            if (open != std::string::npos) description = trimmed(description.substr(0, open));
        }
        std::string patterns;
        for (const std::string& raw : split(parts[i + 1], ';')) {
            const std::string pattern = trimmed(raw);
            if (pattern.empty()) continue;
            for (const std::string& p : {pattern, lowered(pattern)}) {
                if ((" " + patterns + " ").find(" " + p + " ") != std::string::npos) continue;
                if (!patterns.empty()) patterns += ' ';
                patterns += p;
            }
        }
        if (patterns.empty()) continue;
        lines.push_back(description.empty() ? "(" + patterns + ")" : description + " (" + patterns + ")");
    }
    return lines;
}
