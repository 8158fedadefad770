#include "app/SaveTargets.h"

#include <filesystem>

#include "files/FileNames.h"
#include "files/LocalDate.h"

namespace fs = std::filesystem;

namespace {
constexpr int MAX_SAME_NAME = 100;
}

SaveTargets::SaveTargets(const std::string& pattern) {
    std::error_code ec;
    if (pattern.back() == '/' || fs::is_directory(pattern, ec)) {
        folder_ = pattern;
        while (folder_.size() > 1 && folder_.back() == '/') folder_.pop_back();
        return;
    }
    fs::path path(pattern);
    folder_ = path.has_parent_path() ? path.parent_path().string() : ".";
    prefix_ = path.filename().string() + "_";
}

std::string SaveTargets::claim(const std::string& deviceName, uint8_t address, const LocalDate& day) {
    const std::string base =
        folder_ + "/" + prefix_ + basePath(proposedFileName(deviceName, address, day, PARAMETER_EXTENSION));
    std::lock_guard<std::mutex> hold(mutex_);
    std::error_code ec;
    for (int n = 1; n <= MAX_SAME_NAME; ++n) {
        const std::string stem = n == 1 ? base : base + "-" + std::to_string(n);
        const std::string file = withExtension(stem, PARAMETER_EXTENSION);
        if (given_.count(file) || fs::exists(file, ec) || fs::exists(withExtension(stem, REPORT_EXTENSION), ec))
            continue;
        given_.insert(file);
        return file;
    }
    return {};
}
