#include "app/SaveTargets.h"

#include <cctype>
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
    std::string name = path.filename().string();
    // A parameter file's own name (valve.NFO) is the file itself.
    const std::string ext = std::string(".") + PARAMETER_EXTENSION;
    if (name.size() > ext.size()) {
        std::string tail = name.substr(name.size() - ext.size());
        for (char& c : tail) c = char(std::toupper(static_cast<unsigned char>(c)));
        if (tail == ext) {
            fileStem_ = name.substr(0, name.size() - ext.size());
            return;
        }
    }
    prefix_ = name + "_";
}

NameClaim SaveTargets::claim(const std::string& deviceName, uint8_t address, const LocalDate& day,
                             const std::string& busTag) const {
    std::string stem = folder_ + "/" + (fileStem_.empty() ? prefix_ + proposedStem(deviceName, address, day) : fileStem_);
    if (!busTag.empty()) stem += "_" + busTag;
    return claimFreeStem(stem, MAX_SAME_NAME);
}
