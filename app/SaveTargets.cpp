#include "app/SaveTargets.h"

#include <cctype>
#include <filesystem>

#include "files/LocalDate.h"

namespace fs = std::filesystem;

namespace {
constexpr int MAX_SAME_NAME = 100;
}

SaveTargets::SaveTargets(const std::string& pattern, bool severalBuses) : severalBuses_(severalBuses) {
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
                             const std::string& port) const {
    std::string stem = folder_ + "/" + prefix_ + proposedStem(deviceName, address, day);
    if (severalBuses_) stem += "_" + portFileNamePart(port);
    return claimFreeStem(stem, MAX_SAME_NAME);
}

std::string portFileNamePart(const std::string& port) {
    std::string part;
    const size_t scheme = port.find("://");
    if (scheme != std::string::npos) {
        // HOST:PORT, an IPv6 host in brackets.
        const std::string rest = port.substr(scheme + 3);
        const size_t colon = rest.rfind(':');
        std::string host = rest.substr(0, colon);
        if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
        part = colon == std::string::npos ? host : host + "-" + rest.substr(colon + 1);
    } else if (port.rfind("/dev/", 0) == 0) {
        part = port.substr(5);
        for (char& c : part)
            if (c == '/') c = '-';
    } else {
        part = fs::path(port).filename().string();
    }
    for (char& c : part) {
        const bool safe = std::isalnum(static_cast<unsigned char>(c)) && static_cast<unsigned char>(c) < 0x80;
        if (!safe && c != '-' && c != '_' && c != '.') c = '_';
    }
    return part.empty() ? std::string("bus") : part;
}
