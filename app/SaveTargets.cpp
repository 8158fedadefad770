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
    const std::string stem = claimFreeStem(
        folder_ + "/" + prefix_ + basePath(proposedFileName(deviceName, address, day, PARAMETER_EXTENSION)),
        MAX_SAME_NAME);
    return stem.empty() ? std::string() : withExtension(stem, PARAMETER_EXTENSION);
}
