#include "support/Support.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

void RecordingOperator::message(const std::string& caption, const std::string& text, MessageIcon icon) {
    messages.push_back({caption, text, icon});
}

bool RecordingOperator::questionDefaultNo(const std::string& caption, const std::string& text) {
    bool yes = question(caption, text);
    questionsDefaultNo.back() = true;
    return yes;
}

bool RecordingOperator::question(const std::string& caption, const std::string& text) {
    questions.push_back({caption, text, MessageIcon::Question});
    questionsDefaultNo.push_back(false);
    if (answers.empty()) return false;
    bool a = answers.front();
    answers.pop_front();
    return a;
}

std::optional<std::string> RecordingOperator::chooseOpenFile(const FileChoice& choice) {
    choices.push_back(choice);
    if (files.empty()) return std::nullopt;
    auto f = files.front();
    files.pop_front();
    return f;
}

std::optional<std::string> RecordingOperator::chooseSaveFile(const FileChoice& choice) {
    return chooseOpenFile(choice);
}

void RecordingOperator::ShowProgress(uint32_t* counter, uint32_t maximum, const std::string& caption) {
    if (counter) *counter = 0;
    if (progressDepth != 0) progressMisused = true;
    ++progressDepth;
    progress.push_back({maximum, caption});
}

void RecordingOperator::HideProgress() {
    if (progressDepth != 1) progressMisused = true;
    --progressDepth;
}

std::vector<std::string> RecordingOperator::texts() const {
    std::vector<std::string> out;
    for (const auto& m : messages) out.push_back(m.text.substr(0, m.text.find("\r\n\r\n")));
    return out;
}

void RecordingOperator::clear() {
    messages.clear();
    questions.clear();
    questionsDefaultNo.clear();
    progress.clear();
    choices.clear();
    notices.clear();
    folders.clear();
}

TempDir::TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "fstest.XXXXXX").string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

void TempDir::write(const std::string& name, const std::string& content) const {
    std::ofstream f(file(name), std::ios::binary);
    f << content;
}

std::string TempDir::read(const std::string& name) const {
    std::ifstream f(file(name), std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}
