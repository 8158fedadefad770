#include "platform/ReplaceFile.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>

namespace {

std::atomic<unsigned> tempCounter{0};

std::function<bool(const std::string&)>& temporaryFault() {
    static std::function<bool(const std::string&)> fault;
    return fault;
}

std::string directoryOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file a write should replace: the end of a chain of symbolic links, or
// path itself. A dangling link leads to the missing file it names, which is
// then created. False on a loop or a link that cannot be read.
bool resolveTarget(const std::string& path, std::string& target) {
    target = path;
    for (int hop = 0; hop < 40; ++hop) {
        struct stat st {};
        if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return true;
        char buffer[PATH_MAX];
        ssize_t n = ::readlink(target.c_str(), buffer, sizeof buffer);
        if (n <= 0 || static_cast<size_t>(n) >= sizeof buffer) return false;
        std::string next(buffer, static_cast<size_t>(n));
        target = next[0] == '/' ? next : directoryOf(target) + "/" + next;
    }
    return false;
}

// A new, exclusively created file beside target; -1 when none can be made.
int createTemporary(const std::string& target, std::string& tempPath) {
    std::string dir = directoryOf(target);
    const auto& fault = temporaryFault();
    if (fault && fault(dir)) {
        errno = EACCES;
        return -1;
    }
    std::string base = dir + "/." + nameOf(target) + ".tmp" + std::to_string(::getpid()) + "-";
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempPath = base + std::to_string(tempCounter++);
        int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
        if (fd >= 0) return fd;
        if (errno != EEXIST) break;
    }
    tempPath.clear();
    return -1;
}

void syncDirectory(const std::string& dir) {
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);  // best effort: the rename itself has already succeeded
    ::close(fd);
}

bool writeAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

void setTemporaryFileFault(std::function<bool(const std::string&)> fault) { temporaryFault() = std::move(fault); }

FileReplacement::~FileReplacement() { discard(); }

void FileReplacement::discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!tempPath_.empty()) ::unlink(tempPath_.c_str());
    tempPath_.clear();
    target_.clear();
    content_.clear();
    inPlace_ = written_ = synced_ = false;
}

bool FileReplacement::open(const std::string& path) {
    discard();
    if (path.empty()) return false;
    std::string target;
    if (!resolveTarget(path, target)) return false;
    struct stat st {};
    bool exists = ::stat(target.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) return false;
    if (!exists && errno != ENOENT) return false;

    std::string tempPath;
    int fd = createTemporary(target, tempPath);
    if (fd >= 0) {
        if (exists && ::fchmod(fd, st.st_mode & 07777) != 0) {
            ::close(fd);
            ::unlink(tempPath.c_str());
            return false;
        }
        tempPath_ = tempPath;
    } else {
        // No temporary file beside it: the file itself, when it is there and
        // writable. O_NONBLOCK keeps a FIFO that took the file's place since
        // the check from waiting for a reader; fstat then refuses it.
        if (!exists) return false;
        fd = ::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd < 0) return false;
        struct stat opened {};
        if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
            ::close(fd);
            return false;
        }
        inPlace_ = true;
    }
    fd_ = fd;
    target_ = target;
    return true;
}

bool FileReplacement::write(const FileWriter& writer, bool synced) {
    if (fd_ < 0 || written_) return false;
    synced_ = synced;
    bool ok = false;
    if (inPlace_) {
        char* buffer = nullptr;
        size_t size = 0;
        std::FILE* memory = ::open_memstream(&buffer, &size);
        if (!memory) return false;
        try {
            ok = writer(memory);
        } catch (...) {
            ok = false;
        }
        ok = std::fclose(memory) == 0 && ok;
        if (ok && buffer) content_.assign(buffer, size);
        std::free(buffer);
        written_ = ok;
        return ok;
    }
    std::FILE* f = ::fdopen(fd_, "wb");
    if (!f) return false;
    fd_ = -1;   // the stream owns it now
    try {
        ok = writer(f);
    } catch (...) {
        ok = false;   // the temporary file goes; the old file stays
    }
    ok = std::fflush(f) == 0 && ok;
    if (synced) ok = ::fsync(::fileno(f)) == 0 && ok;
    ok = std::fclose(f) == 0 && ok;
    if (!ok) {
        ::unlink(tempPath_.c_str());
        tempPath_.clear();
    }
    written_ = ok;
    return ok;
}

bool FileReplacement::commit() {
    bool ok = written_;
    if (ok && inPlace_) {
        // Over the old bytes, then cut at the new end: the file never stands
        // empty in between.
        ok = writeAll(fd_, content_) && ::ftruncate(fd_, static_cast<off_t>(content_.size())) == 0 &&
             ::fsync(fd_) == 0;
    } else if (ok) {
        ok = ::rename(tempPath_.c_str(), target_.c_str()) == 0;
        if (ok) {
            tempPath_.clear();
            if (synced_) syncDirectory(directoryOf(target_));
        }
    }
    discard();
    return ok;
}

bool replaceFile(const std::string& path, const FileWriter& write) {
    FileReplacement file;
    return file.open(path) && file.write(write, true) && file.commit();
}
