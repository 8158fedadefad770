#include "app/SaveTargets.h"

#include <filesystem>

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

NameClaim SaveTargets::claim(const std::string& deviceName, uint8_t address, const LocalDate& day,
                             const std::string& busTag) const {
    std::string stem = folder_ + "/" + prefix_ + proposedStem(deviceName, address, day);
    if (!busTag.empty()) stem += "_" + busTag;
    return claimFreeStem(stem, MAX_SAME_NAME);
}
