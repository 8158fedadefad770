#include "params/CsvFile.h"

#include <charconv>
#include <cstdio>
#include <cctype>
#include <ctime>
#include <filesystem>

#include "session/AppContext.h"
#include "session/FileChooser.h"
#include "texts/TextTable.h"

namespace {
constexpr uint32_t CSV_FILES_TEXT = 33117;
constexpr uint32_t SAVED_FILE_TEXT = 33033;   // "Saved %s"

// The length of the UTF-8 sequence starting at i, or 0 when it is not one.
size_t utf8Sequence(const std::string& s, size_t i) {
    const auto b = static_cast<unsigned char>(s[i]);
    size_t n = b < 0x80 ? 1 : (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 0;
    if (n == 0 || i + n > s.size()) return 0;
    for (size_t k = 1; k < n; ++k)
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 0;
    return n;
}

void appendUtf8(std::string& out, uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}
}  // namespace

std::string utf8Text(const std::string& bytes) {
    bool valid = true;
    for (size_t i = 0; i < bytes.size();) {
        size_t n = utf8Sequence(bytes, i);
        if (n == 0) {
            valid = false;
            break;
        }
        i += n;
    }
    if (valid) return bytes;
    // Windows-1252: 0x80-0x9F hold the typographic signs; the five bytes it
    // leaves undefined keep their own value, as in Latin-1.
    static constexpr uint16_t HIGH[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    std::string out;
    out.reserve(bytes.size() + 16);
    for (char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        appendUtf8(out, b >= 0x80 && b < 0xA0 ? HIGH[b - 0x80] : b);
    }
    return out;
}

std::string csvRow(const std::vector<std::string>& fields) {
    std::string out;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i) out += ',';
        out += csvField(utf8Text(fields[i]));
    }
    out += "\r\n";
    return out;
}

std::string csvNumber(uint64_t value) {
    char buffer[24];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    return std::string(buffer, end);
}

std::string csvNumber(double value) {
    // to_chars ignores the locale, where printf would write a comma in Italian.
    char buffer[40];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    return std::string(buffer, end);
}

std::string csvTime(int64_t seconds) {
    const time_t t = static_cast<time_t>(seconds);
    tm local{};
    if (!localtime_r(&t, &local)) return std::to_string(seconds);
    char text[48];
    size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    if (n == 0) return std::to_string(seconds);
    // The offset in ISO 8601's extended form, +01:00 (strftime's %z lacks the colon).
    const long offset = local.tm_gmtoff;
    const long minutes = (offset < 0 ? -offset : offset) / 60;
    std::snprintf(text + n, sizeof text - n, "%c%02ld:%02ld", offset < 0 ? '-' : '+', minutes / 60, minutes % 60);
    return text;
}

std::string withCsvExtension(const std::string& path) {
    if (path.size() >= 4) {
        std::string tail = path.substr(path.size() - 4);
        for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (tail == ".csv") return path;
    }
    return path + ".csv";
}

std::string csvFileFilter(const LanguageTexts& texts) {
    return texts.messages.Lookup(CSV_FILES_TEXT) + " (*.csv)|*.csv|";
}

bool writeCsvFile(AppContext& ctx, const std::string& path, const std::string& text) {
    FILE* f = std::fopen(path.c_str(), "wb");
    bool written = f != nullptr && std::fwrite(text.data(), 1, text.size(), f) == text.size();
    if (f && std::fclose(f) != 0) written = false;
    if (!written) {
        // Nothing half-written stays behind under the chosen name.
        if (f) std::remove(path.c_str());
        ctx.showFileText(4, path);
    }
    return written;
}

bool exportCsv(AppContext& ctx, const std::string& text) {
    auto chosen = chooseFileToSave(ctx, csvFileFilter(ctx.texts), "csv");
    if (!chosen) return false;
    // The chooser only adds its suffix to a name without any dot in it.
    const std::string path = withCsvExtension(*chosen);
    if (!writeCsvFile(ctx, path, text)) return false;
    ctx.notifyText(SAVED_FILE_TEXT, {path});
    return true;
}
