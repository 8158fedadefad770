#pragma once
// What the targets share: an operator that shows nothing and answers
// questions as told, a private scratch directory, and the shipped language
// files loaded once.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>
#include <unistd.h>

#include "link/DeviceLink.h"
#include "session/AppContext.h"
#include "platform/Operator.h"
#include "texts/TextTable.h"

class QuietOperator : public Operator {
public:
    bool answer = true;
    const LanguageTexts* texts = nullptr;   // to tell one message from another
    std::vector<std::string> shown;   // texts of the messages since the last clear
    void message(const std::string&, const std::string& text, MessageIcon) override {
        if (shown.size() < 64) shown.push_back(text);
    }
    bool question(const std::string&, const std::string&) override { return answer; }
    std::optional<std::string> chooseOpenFile(const FileChoice&) override { return std::nullopt; }
    std::optional<std::string> chooseSaveFile(const FileChoice&) override { return std::nullopt; }
    void ShowProgress(uint32_t* counter, uint32_t, const std::string&) override {
        if (counter) *counter = 0;
    }
    void HideProgress() override {}
    bool showedText(uint32_t n) const {
        std::string text = texts ? texts->messages.Lookup(n) : std::string();
        for (const auto& s : shown)
            if (s == text) return true;
        return false;
    }
};

// A directory of its own for the files a target writes, made once.
inline const std::string& scratchDirectory() {
    // Never destroyed: the exit handler below still needs it.
    static const std::string& dir = *new std::string([] {
        // Memory-backed when there is such a place: rewriting a file on disk
        // tens of thousands of times a minute waits for the disk.
        std::error_code ec;
        std::filesystem::path base = std::filesystem::is_directory("/dev/shm", ec)
                                         ? std::filesystem::path("/dev/shm")
                                         : std::filesystem::temp_directory_path();
        std::string tmpl = (base / "fsfuzz.XXXXXX").string();
        if (!mkdtemp(tmpl.data())) std::abort();
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(scratchDirectory(), ignored);
        });
        return tmpl;
    }());
    return dir;
}

// Replaces the file at path with exactly these bytes; false when it cannot.
inline bool writeBytes(const std::string& path, const void* data, size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

inline std::string readBytes(const std::string& path) {
    std::string out;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return out;
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) out.append(buffer, got);
    std::fclose(f);
    return out;
}

// The quiet operator and the English message and parameter texts from
// install/, so reports carry real labels and a message can be told from
// another; loaded once.
inline QuietOperator& quietOperator() {
    static QuietOperator op;
    return op;
}

inline const LanguageTexts& englishTexts() {
    static LanguageTexts texts;
    static const bool loaded = [] {
        std::string dir = std::string(FS_SOURCE_DIR) + "/install/";
        return texts.messages.Load(dir + "messages.eng") && texts.parameters.Load(dir + "parameters.eng");
    }();
    if (!loaded) {
        std::fprintf(stderr, "the language files in %s/install cannot be read\n", FS_SOURCE_DIR);
        std::abort();
    }
    return texts;
}

// A context on link with the quiet operator and the English texts. Each
// target keeps its own and calls quietStart() for each input.
inline std::unique_ptr<AppContext> makeFuzzContext(DeviceLink& link) {
    auto ctx = std::make_unique<AppContext>(link, &quietOperator());
    ctx->texts = englishTexts();
    return ctx;
}

// The quiet operator with an empty record, telling texts of ctx.
inline QuietOperator& quietStart(const AppContext& ctx) {
    QuietOperator& op = quietOperator();
    op.texts = &ctx.texts;
    op.shown.clear();
    return op;
}
