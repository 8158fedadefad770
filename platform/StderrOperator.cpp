#include "platform/StderrOperator.h"

#include <unistd.h>

#include <iostream>

std::string oneLine(const std::string& text) {
    std::string line;
    line.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r') {
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
            line += ' ';
        } else if (c == '\n') {
            line += ' ';
        } else {
            line += c;
        }
    }
    return line;
}

StderrOperator::StderrOperator() : out_(std::cerr), showProgress_(isatty(STDERR_FILENO) == 1) {}

StderrOperator::StderrOperator(std::ostream& out, bool showProgress)
    : out_(out), showProgress_(showProgress) {}

void StderrOperator::writeLine(const std::string& caption, const std::string& text) {
    // Without a caption (the title is empty when no language could be loaded)
    // the line carries the text alone rather than a stray ": ".
    if (!caption.empty()) out_ << oneLine(caption) << ": ";
    out_ << oneLine(text) << '\n';
    out_.flush();
}

void StderrOperator::message(const std::string& caption, const std::string& text, MessageIcon) {
    writeLine(caption, text);
}

void StderrOperator::messageTable(const std::string& caption, const std::string& text, MessageIcon) {
    if (!caption.empty()) out_ << oneLine(caption) << ":\n";
    std::string line;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '\n') {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            out_ << line << '\n';
            line.clear();
        } else {
            line += text[i];
        }
    }
    out_.flush();
}

bool StderrOperator::question(const std::string& caption, const std::string& text) {
    writeLine(caption, text + " -> No");
    return false;
}

std::optional<std::string> StderrOperator::chooseOpenFile(const FileChoice&) { return std::nullopt; }

std::optional<std::string> StderrOperator::chooseSaveFile(const FileChoice&) { return std::nullopt; }

void StderrOperator::ShowProgress(uint32_t* counter, uint32_t, const std::string& caption) {
    if (counter) *counter = 0;
    progressCaption_ = caption;
    if (showProgress_) writeLine("", caption + " ...");
}

void StderrOperator::HideProgress() {
    if (showProgress_) writeLine("", progressCaption_ + " ... done");
}
