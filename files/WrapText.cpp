#include "files/ParameterFiles.h"

int wrapText(const std::string& text, std::vector<std::string>& lines, int width, int maxLines) {
    lines.clear();
    // A width below 1 could never take a character off the text.
    if (maxLines <= 0 || width < 1) return 0;
    const size_t limit = static_cast<size_t>(width);
    size_t pos = 0;   // the text still to place starts here
    int count = 0;
    while (pos < text.size()) {
        std::string line;
        for (;;) {
            // A chunk runs up to and including the next separator, or is a
            // word piece of width characters when none comes soon enough.
            size_t sep = text.find_first_of(" \r\n.,;:/", pos);
            size_t c = (sep == std::string::npos || sep - pos >= limit) ? limit - 1 : sep - pos;
            size_t chunk = std::min(c + 1, text.size() - pos);
            if (line.size() + chunk > limit) break;
            line.append(text, pos, chunk);
            pos += chunk;
            if (pos >= text.size()) break;
        }
        lines.push_back(line);
        if (++count >= maxLines) break;
    }
    return count;
}
