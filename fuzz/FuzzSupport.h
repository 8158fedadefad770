#pragma once
// What every fuzz target needs: an operator that shows nothing and answers
// questions from the input, and a private scratch directory.
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "app/AppState.h"
#include "platform/Operator.h"

class QuietOperator : public Operator {
public:
    bool answer = true;
    unsigned shown = 0;
    void message(const std::string&, const std::string&, MessageIcon) override { ++shown; }
    bool question(const std::string&, const std::string&) override { return answer; }
    std::optional<std::string> chooseOpenFile(const FileChoice&) override { return std::nullopt; }
    std::optional<std::string> chooseSaveFile(const FileChoice&) override { return std::nullopt; }
    void ShowProgress(uint32_t* counter, uint32_t, const std::string&) override {
        if (counter) *counter = 0;
    }
    void HideProgress() override {}
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

inline QuietOperator& installQuietOperator() {
    static QuietOperator op;
    setOperator(&op);
    return op;
}
