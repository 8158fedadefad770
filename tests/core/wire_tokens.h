#pragma once
// The master's side of the wire as a list of requests, one readable token
// each, so two runs can be compared request by request:
//   "sel 01"        select of address 1
//   "rel"           release of all devices
//   "rd 0100"       read of register 0x0100
//   "wr 0030=4d2"   write of a value (hexadecimal) in the value form
//   "wd 0100=0"     write of one digit (the digit form)
//   "?? 5a"         a byte that starts no request (a request broken off)
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

inline std::vector<std::string> wireTokens(const std::vector<uint8_t>& sent) {
    std::vector<std::string> tokens;
    char text[48];
    size_t i = 0;
    while (i < sent.size()) {
        uint8_t b = sent[i];
        if (b & 0x80) {
            if (b == 0xFF) {
                tokens.push_back("rel");
            } else {
                std::snprintf(text, sizeof text, "sel %02x", b & 0x3F);
                tokens.push_back(text);
            }
            ++i;
            continue;
        }
        if (i + 1 >= sent.size() || (sent[i + 1] & 0x80)) {
            std::snprintf(text, sizeof text, "?? %02x", b);
            tokens.push_back(text);
            ++i;
            continue;
        }
        uint32_t key = (uint32_t(sent[i + 1]) << 8) | (b & 0xFE);
        i += 2;
        if (!(b & 1)) {
            std::snprintf(text, sizeof text, "rd %04x", unsigned(key));
            tokens.push_back(text);
            continue;
        }
        if (i < sent.size() && (sent[i] & 0xF0) == 0x10) {
            std::snprintf(text, sizeof text, "wd %04x=%x", unsigned(key), sent[i] & 0x0F);
            tokens.push_back(text);
            ++i;
            continue;
        }
        uint32_t value = 0;
        unsigned n = 0;
        while (i < sent.size() && n < 8 && !(sent[i] & 0x80)) {
            uint8_t d = sent[i++];
            value |= uint32_t(d & 0x0F) << (4 * n);
            ++n;
            if (d & 0x10) break;
        }
        std::snprintf(text, sizeof text, "wr %04x=%x", unsigned(key), unsigned(value));
        tokens.push_back(text);
    }
    return tokens;
}

// The tokens with every run of repeated selects of one address, and every
// run of releases, taken as one: how often the master has to select a
// restarting device until it answers depends on how long the device stays
// silent, and how many releases the port's opening sends to find out
// whether the line echoes depends on the line, not on what the master asks.
inline std::vector<std::string> normalisedWire(const std::vector<std::string>& tokens) {
    std::vector<std::string> out;
    for (const auto& t : tokens) {
        bool repeats = (t.rfind("sel ", 0) == 0 || t == "rel") && !out.empty() && out.back() == t;
        if (repeats) continue;
        out.push_back(t);
    }
    return out;
}

// Empty when equal; otherwise where the two first part, with a few tokens
// of context from each.
inline std::string firstDifference(const std::vector<std::string>& got, const std::vector<std::string>& want) {
    if (got == want) return {};
    size_t at = 0;
    while (at < got.size() && at < want.size() && got[at] == want[at]) ++at;
    auto around = [at](const std::vector<std::string>& v) {
        std::string s;
        size_t from = at >= 3 ? at - 3 : 0;
        for (size_t k = from; k < v.size() && k < at + 6; ++k) s += (k == at ? " >" : " ") + v[k];
        if (at >= v.size()) s += " >(end)";
        return s;
    };
    return "at request " + std::to_string(at) + " of " + std::to_string(got.size()) + " (expected " +
           std::to_string(want.size()) + "): sent" + around(got) + "; expected" + around(want);
}
