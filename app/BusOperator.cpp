#include "app/BusOperator.h"

BusOperator::BusOperator(std::string port, std::ostream& out, std::mutex& lock)
    : port_(std::move(port)), out_(out), lock_(lock), inner_(lines_, false) {}

void BusOperator::passOn() {
    const std::string text = lines_.str();
    lines_.str({});
    if (text.empty()) return;
    std::string prefixed;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        prefixed += port_ + ": " + text.substr(start, end - start) + '\n';
        start = end + 1;
    }
    std::lock_guard<std::mutex> hold(lock_);
    out_ << prefixed;
    out_.flush();
}

void BusOperator::message(const std::string& caption, const std::string& text, MessageIcon icon) {
    inner_.message(caption, text, icon);
    passOn();
}

void BusOperator::messageTable(const std::string& caption, const std::string& text, MessageIcon icon) {
    inner_.messageTable(caption, text, icon);
    passOn();
}

bool BusOperator::question(const std::string& caption, const std::string& text) {
    bool answer = inner_.question(caption, text);
    passOn();
    return answer;
}

std::optional<std::string> BusOperator::chooseOpenFile(const FileChoice&) { return std::nullopt; }

std::optional<std::string> BusOperator::chooseSaveFile(const FileChoice&) { return std::nullopt; }

void BusOperator::ShowProgress(uint32_t* counter, uint32_t maximum, const std::string& caption) {
    inner_.ShowProgress(counter, maximum, caption);
}

void BusOperator::HideProgress() { inner_.HideProgress(); }
