#include "texts/CsvField.h"

bool csvFieldLooksLikeFormula(const std::string& text) {
    return !text.empty() && std::string("=+-@\t\r").find(text[0]) != std::string::npos;
}

std::string csvField(const std::string& text) {
    const std::string inert = csvFieldLooksLikeFormula(text) ? "'" + text : text;
    if (inert.find_first_of(",\"\r\n") == std::string::npos) return inert;
    std::string out = "\"";
    for (char c : inert) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
    return out;
}
