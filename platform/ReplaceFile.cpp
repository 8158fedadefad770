#include "platform/ReplaceFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <system_error>

namespace {

std::atomic<unsigned> tempCounter{0};

// The file a write should replace: the target of a symbolic link, or the path.
std::string resolvedTarget(const std::string& path) {
    std::error_code ec;
    if (std::filesystem::is_symlink(path, ec)) {
        auto target = std::filesystem::canonical(path, ec);
        if (!ec) return target.string();
    }
    return path;
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

// A new, exclusively created file beside target; -1 when none can be made.
int createTemporary(const std::string& target, std::string& tempPath) {
    std::string base = directoryOf(target) + "/." + nameOf(target) + ".new";
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempPath = base + std::to_string(::getpid()) + "_" + std::to_string(tempCounter++);
        int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) return fd;
        if (errno != EEXIST) return -1;
    }
    return -1;
}

void syncDirectory(const std::string& dir) {
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);  // best effort: the rename itself has already succeeded
    ::close(fd);
}

}  // namespace

bool replaceFile(const std::string& path, const std::function<bool(std::FILE*)>& write) {
    if (path.empty()) return false;
    std::string target = resolvedTarget(path);
    struct stat st {};
    bool exists = ::stat(target.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) return false;
    if (!exists && errno != ENOENT) return false;

    std::string tempPath;
    int fd = createTemporary(target, tempPath);
    if (fd < 0) return false;
    if (exists) ::fchmod(fd, st.st_mode & 07777);
    std::FILE* f = ::fdopen(fd, "wb");
    if (!f) {
        ::close(fd);
        ::unlink(tempPath.c_str());
        return false;
    }
    bool ok = false;
    try {
        ok = write(f);
    } catch (...) {
        ok = false;  // the temporary file goes; the old file stays
    }
    ok = std::fflush(f) == 0 && ok;
    ok = ::fsync(::fileno(f)) == 0 && ok;
    ok = std::fclose(f) == 0 && ok;
    if (ok) ok = ::rename(tempPath.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(tempPath.c_str());
        return false;
    }
    syncDirectory(directoryOf(target));
    return true;
}
