#pragma once
// Inputs the benchmarks make for themselves: parameter texts as a save
// writes them, and language files of any size. Everything is derived from
// the index, so every run sees the same bytes.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace bench {

inline uint32_t parameterNumber(unsigned i) { return 0x0100 + 2 * i; }

// A parameter text of count parameters: the identity header, then per
// parameter its "#FREE: " line (two in three are free) and its
// "#CODE: "/"#DATA: " pair, every seventh an on/off one.
inline std::string parameterText(const std::string& name, unsigned count) {
    std::string text = "#DATE: 08-12-2026  \n#NAME: " + name +
                       "  \n#ADDR: 1  \n#VER.: 3  \n#REL.: 7  \n#PVER: 2  \n#PSWD: 0  ";
    char line[96];
    for (unsigned i = 0; i < count; ++i) {
        uint32_t n = parameterNumber(i);
        if (i % 3 != 2) {
            std::snprintf(line, sizeof line, "\n#FREE: %X", n);
            text += line;
        }
        if (i % 7 == 3)
            std::snprintf(line, sizeof line, "\n#CODE: %X  #DATA: %s  ", n, i % 2 ? "ON" : "OFF");
        else
            std::snprintf(line, sizeof line, "\n#CODE: %X  #DATA: %u  ", n, (i * 2654435761u) % 100000u);
        text += line;
    }
    return text;
}

// The description of entry i: mostly one line of 20 to 80 characters, now
// and then a long one that wraps over several report lines.
inline std::string description(unsigned i) {
    static const char* words[] = {"pump",  "pressure", "limit",   "delay", "flow",    "sensor",
                                  "alarm", "setpoint", "minimum", "valve", "maximum", "filter"};
    std::string text = "Parameter " + std::to_string(i) + ":";
    unsigned length = i % 50 == 7 ? 400 : 20 + (i * 37) % 60;
    for (unsigned w = i; text.size() < length; w = w * 7 + 3) {
        text += ' ';
        text += words[w % 12];
    }
    return text;
}

struct LanguageEntry {
    uint32_t number;
    std::string text;
};

// The file's bytes: "%04X>text<END>" entries, each on its own line.
inline std::string languageFile(const std::vector<LanguageEntry>& entries) {
    std::string file;
    char head[16];
    for (const LanguageEntry& e : entries) {
        std::snprintf(head, sizeof head, "%04X>", e.number);
        file += head;
        file += e.text;
        file += "<END>\r\n";
    }
    return file;
}

}  // namespace bench
