#include "files/AtomicFile.h"

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <unistd.h>

#include "platform/DiskFlush.h"

namespace {

std::function<bool(const std::string&)>& writeFault() {
    static std::function<bool(const std::string&)> fault;
    return fault;
}

std::string temporaryName(const std::string& path, unsigned attempt) {
    static std::atomic<unsigned> counter{0};
    size_t slash = path.find_last_of('/');
    std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    return folder + "." + name + ".tmp" + std::to_string(getpid()) + "-" +
           std::to_string(counter++) + "-" + std::to_string(attempt);
}

// Creates a new file that did not exist before ("x": exclusive), so a stale
// or foreign file of the same name is never written through.
std::FILE* createTemporary(const std::string& path, std::string& tmpPath) {
    for (unsigned attempt = 0; attempt < 16; ++attempt) {
        tmpPath = temporaryName(path, attempt);
        if (std::FILE* f = std::fopen(tmpPath.c_str(), "wbx")) return f;
    }
    return nullptr;
}

}  // namespace

void setFileWriteFault(std::function<bool(const std::string&)> fault) { writeFault() = std::move(fault); }

PendingFile::~PendingFile() {
    if (!tmpPath_.empty()) std::remove(tmpPath_.c_str());
}

bool PendingFile::write(const std::string& path, const std::string& content, Durability durability) {
    if (!tmpPath_.empty()) std::remove(tmpPath_.c_str());
    tmpPath_.clear();
    std::string tmpPath;
    std::FILE* f = createTemporary(path, tmpPath);
    if (!f) return false;
    size_t toWrite = content.size();
    const auto& fault = writeFault();
    bool injected = fault && fault(path);
    if (injected) toWrite /= 2;
    bool ok = std::fwrite(content.data(), 1, toWrite, f) == toWrite && !injected;
    if (durability == Durability::Synced) ok = flushFileToDisk(f) && ok;
    ok = std::fclose(f) == 0 && ok;
    if (!ok) {
        std::remove(tmpPath.c_str());
        return false;
    }
    path_ = path;
    tmpPath_ = tmpPath;
    return true;
}

bool PendingFile::commit() {
    if (tmpPath_.empty()) return false;
    bool ok = std::rename(tmpPath_.c_str(), path_.c_str()) == 0;
    if (!ok) std::remove(tmpPath_.c_str());
    tmpPath_.clear();
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
