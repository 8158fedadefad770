#pragma once
// Test helpers shared by the core and window tests.
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "platform/Operator.h"
#include "support/FixedClock.h"

// An operator that records everything shown and answers from queues, so no
// test ever blocks on a modal box.
class RecordingOperator : public Operator {
public:
    struct Shown {
        std::string caption;
        std::string text;
        MessageIcon icon;
    };
    struct Progress {
        uint32_t maximum;
        std::string caption;
    };

    std::vector<Shown> messages;
    std::vector<Shown> questions;
    std::vector<bool> questionsDefaultNo;                   // one per question: No was the default
    std::vector<Progress> progress;
    std::vector<FileChoice> choices;
    std::vector<std::string> notices;                       // told in passing
    std::vector<std::string> folders;                       // one per message with a folder button
    std::deque<bool> answers;                               // questions: default No
    std::deque<std::optional<std::string>> files;           // choosers: default cancel
    int progressDepth = 0;                                  // Show minus Hide
    bool progressMisused = false;                           // Show while shown, Hide while hidden

    void message(const std::string& caption, const std::string& text, MessageIcon icon) override;
    void messageWithFolder(const std::string& caption, const std::string& text, MessageIcon icon,
                           const std::string& actionLabel, const std::string& folder) override {
        (void)actionLabel;
        folders.push_back(folder);
        message(caption, text, icon);
    }
    bool question(const std::string& caption, const std::string& text) override;
    bool questionDefaultNo(const std::string& caption, const std::string& text) override;
    std::optional<std::string> chooseOpenFile(const FileChoice& choice) override;
    std::optional<std::string> chooseSaveFile(const FileChoice& choice) override;
    void ShowProgress(uint32_t* counter, uint32_t maximum, const std::string& caption) override;
    void HideProgress() override;
    void notify(const std::string& text) override { notices.push_back(text); }

    // Texts of the messages shown so far, in order, each without the file
    // name a file message gives on a line of its own.
    std::vector<std::string> texts() const;
    void clear();
};

// Whether text is the message pattern with its places filled: it begins as
// the pattern does up to its first place.
inline bool filledFrom(const std::string& pattern, const std::string& text) {
    const std::string head = pattern.substr(0, pattern.find('%'));
    return !head.empty() && text.compare(0, head.size(), head) == 0;
}

// Makes a fresh temporary directory and removes it with its content at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    void write(const std::string& name, const std::string& content) const;
    std::string read(const std::string& name) const;
private:
    std::string path_;
};
