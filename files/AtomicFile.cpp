#include "files/AtomicFile.h"

#include <cstdio>
#include <filesystem>

#include "platform/ReplaceFile.h"

namespace {

std::function<bool(const std::string&)>& writeFault() {
    static std::function<bool(const std::string&)> fault;
    return fault;
}

}  // namespace

void setFileWriteFault(std::function<bool(const std::string&)> fault) { writeFault() = std::move(fault); }

PendingFile::PendingFile() = default;
PendingFile::~PendingFile() = default;

bool PendingFile::write(const std::string& path, const std::string& content, Durability durability) {
    replacement_ = std::make_unique<FileReplacement>();
    if (!replacement_->open(path)) {
        replacement_.reset();
        return false;
    }
    const auto& fault = writeFault();
    bool injected = fault && fault(path);
    size_t toWrite = injected ? content.size() / 2 : content.size();
    bool ok = replacement_->write(
        [&](std::FILE* f) { return std::fwrite(content.data(), 1, toWrite, f) == toWrite && !injected; },
        durability == Durability::Synced);
    if (!ok) replacement_.reset();
    return ok;
}

bool PendingFile::commit() {
    if (!replacement_) return false;
    bool ok = replacement_->commit();
    replacement_.reset();
    return ok;
}

bool writeFileAtomically(const std::string& path, const std::string& content, Durability durability) {
    PendingFile file;
    return file.write(path, content, durability) && file.commit();
}

bool readWholeFile(const std::string& path, std::string& content, size_t maxBytes) {
    content.clear();
    // Only plain files: opening a FIFO would wait for a writer that may never come.
    std::error_code ec;
    if (std::filesystem::status(path, ec).type() != std::filesystem::file_type::regular) return false;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    // Read in pieces up to the limit rather than trusting a size taken
    // beforehand: the file may change, and a FIFO or device has no size.
    char piece[16384];
    bool ok = true;
    for (;;) {
        size_t got = std::fread(piece, 1, sizeof piece, f);
        if (content.size() + got > maxBytes) {
            ok = false;
            break;
        }
        content.append(piece, got);
        if (got < sizeof piece) {
            ok = !std::ferror(f);
            break;
        }
    }
    std::fclose(f);
    if (!ok) content.clear();
    return ok;
}
