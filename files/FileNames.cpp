#include "files/FileNames.h"

#include <cctype>
#include <cstdio>
#include <filesystem>

#include "files/Format.h"
#include "files/LocalDate.h"
#include "texts/TextFill.h"
#include "texts/TextTable.h"

std::string basePath(const std::string& path) {
    // Only the file name's own extension goes: a dot in a directory name
    // ("/data/v1.2/unit") belongs to the directory.
    size_t slash = path.find_last_of('/');
    size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || dot < nameStart) return path;
    return path.substr(0, dot);
}

namespace {

constexpr uint32_t CLAIM_FAILED_TEXT = 0x82B3;         // "No file could be created in %s: %s."
constexpr uint32_t CLAIM_NO_PERMISSION_TEXT = 0x82B4;
constexpr uint32_t CLAIM_READ_ONLY_TEXT = 0x82B5;
constexpr uint32_t CLAIM_NO_SPACE_TEXT = 0x82B6;
constexpr uint32_t CLAIM_NO_FOLDER_TEXT = 0x82B7;
constexpr uint32_t CLAIM_ALL_TAKEN_TEXT = 0x82B8;      // "the names %s to %s are all taken"
constexpr uint32_t CLAIM_OTHER_TEXT = 0x82B9;          // "the system refused it (%s)"

bool sameLetters(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::string lowerCase(std::string text) {
    for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

std::string withExtension(const std::string& path, const std::string& extension) {
    const std::string base = basePath(path);
    const std::string own = base.size() < path.size() ? path.substr(base.size() + 1) : std::string();
    // The file itself, in whatever case its name has: "x.nfo" is read as it is.
    if (sameLetters(own, extension)) return path;
    // Its partner in the same case: "x.nfo" goes with "x.doc", "X.NFO" with
    // "X.DOC". Any other name takes the extension as given.
    const bool lower = own == lowerCase(own) && (sameLetters(own, PARAMETER_EXTENSION) ||
                                                 sameLetters(own, REPORT_EXTENSION));
    return base + "." + (lower ? lowerCase(extension) : extension);
}

std::string fileFilter(const LanguageTexts& texts, const std::string& extension) {
    return texts.messages.Lookup(32782) + " (*." + extension + ")|*." + extension + "|";
}

std::string fileNamePart(const std::string& deviceName) {
    size_t first = deviceName.find_first_not_of(" \t");
    size_t last = deviceName.find_last_not_of(" \t");
    std::string name = first == std::string::npos ? "" : deviceName.substr(first, last - first + 1);
    for (char& c : name) {
        const bool safe = std::isalnum(static_cast<unsigned char>(c)) && static_cast<unsigned char>(c) < 0x80;
        if (!safe && c != '-' && c != '_') c = '_';
    }
    return name.empty() ? std::string("device") : name;
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
        part = std::filesystem::path(port).filename().string();
    }
    for (char& c : part) {
        const bool safe = std::isalnum(static_cast<unsigned char>(c)) && static_cast<unsigned char>(c) < 0x80;
        if (!safe && c != '-' && c != '_' && c != '.') c = '_';
    }
    return part.empty() ? std::string("bus") : part;
}

std::string proposedStem(const std::string& deviceName, uint8_t address, const LocalDate& day) {
    return fileNamePart(deviceName) +
           formatText("_%02X_%04d-%02d-%02d", static_cast<unsigned>(address), day.year, day.month, day.day);
}

std::string proposedFileName(const std::string& deviceName, uint8_t address, const LocalDate& day,
                             const std::string& extension) {
    return proposedStem(deviceName, address, day) + "." + extension;
}

std::string fileNameWithExtension(const std::string& path, const std::string& extension) {
    const std::string base = basePath(path);
    const size_t slash = base.find_last_of('/');
    return (slash == std::string::npos ? base : base.substr(slash + 1)) + "." + extension;
}

std::string NameClaim::folder() const {
    const std::string parent = std::filesystem::path(base).parent_path().string();
    return parent.empty() ? std::string(".") : parent;
}

NameClaim claimFreeStem(const std::string& base, int tries) {
    NameClaim claim;
    claim.base = base;
    claim.tries = tries;
    claim.failure = NewFileOutcome::Exists;
    std::error_code ec;
    for (int n = 1; n <= tries; ++n) {
        NameClaim tried = claim;
        tried.stem = n == 1 ? base : base + "-" + std::to_string(n);
        if (std::filesystem::exists(tried.reportFile(), ec)) continue;
        const NewFile made = createNewFile(tried.parameterFile());
        if (made.outcome == NewFileOutcome::Exists) continue;
        if (made.outcome == NewFileOutcome::Created) {
            tried.failure = NewFileOutcome::Created;
            return tried;
        }
        claim.failure = made.outcome;
        claim.systemText = made.systemText;
        break;
    }
    return claim;
}

namespace {

// The cause alone ("the disk is full ..."), in lower case as a clause.
std::string claimCause(const LanguageTexts& texts, const NameClaim& claim) {
    auto text = [&texts](uint32_t n) { return texts.messages.Lookup(n); };
    switch (claim.failure) {
        case NewFileOutcome::NoPermission: return text(CLAIM_NO_PERMISSION_TEXT);
        case NewFileOutcome::ReadOnly: return text(CLAIM_READ_ONLY_TEXT);
        case NewFileOutcome::NoSpace: return text(CLAIM_NO_SPACE_TEXT);
        case NewFileOutcome::NoFolder: return text(CLAIM_NO_FOLDER_TEXT);
        case NewFileOutcome::Exists: {
            const std::string name = std::filesystem::path(claim.base).filename().string();
            return fillText(text(CLAIM_ALL_TAKEN_TEXT), {name, name + "-" + std::to_string(claim.tries)});
        }
        default: return fillText(text(CLAIM_OTHER_TEXT), {claim.systemText});
    }
}

}  // namespace

std::string claimFailureCause(const LanguageTexts& texts, const NameClaim& claim) {
    return claim.folder() + ": " + claimCause(texts, claim);
}

std::string claimFailureText(const LanguageTexts& texts, const NameClaim& claim) {
    return fillText(texts.messages.Lookup(CLAIM_FAILED_TEXT), {claim.folder(), claimCause(texts, claim)});
}

void dropEmptyClaim(const std::string& parameterFile) {
    std::error_code ec;
    if (std::filesystem::file_size(parameterFile, ec) == 0 && !ec) std::filesystem::remove(parameterFile, ec);
}
