#include "platform/PortLock.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

namespace {

// Bounds of the search for a device's holder: enough for any workstation,
// short enough that a crowded machine cannot stall the open.
constexpr int MaxProcesses = 4096;
constexpr int MaxFilesPerProcess = 1024;
constexpr int MaxFilesInAll = 65536;
constexpr int MaxLockLines = 10000;
// The whole search for a holder; past it, the holder is not named.
constexpr int64_t HolderSearchMs = 500;

// The lock files this process holds, removed at exit. A child made by fork
// inherits the list but not the locks: only the process that took a lock
// file removes it.
struct HeldLocks {
    std::mutex mutex;
    std::map<std::string, pid_t> owners;
};

HeldLocks& heldLocks() {
    static HeldLocks* held = new HeldLocks;   // outlives every static destructor
    return *held;
}

void removeHeldAtExit() {
    HeldLocks& held = heldLocks();
    std::lock_guard<std::mutex> guard(held.mutex);
    for (const auto& [path, owner] : held.owners)
        if (owner == getpid()) ::unlink(path.c_str());
    held.owners.clear();
}

void remember(const std::string& path) {
    static std::once_flag registered;
    std::call_once(registered, [] { std::atexit(removeHeldAtExit); });
    HeldLocks& held = heldLocks();
    std::lock_guard<std::mutex> guard(held.mutex);
    held.owners[path] = getpid();
}

void forget(const std::string& path) {
    HeldLocks& held = heldLocks();
    std::lock_guard<std::mutex> guard(held.mutex);
    held.owners.erase(path);
}

bool heldHere(const std::string& path) {
    HeldLocks& held = heldLocks();
    std::lock_guard<std::mutex> guard(held.mutex);
    auto it = held.owners.find(path);
    return it != held.owners.end() && it->second == getpid();
}

// At most limit bytes of a small file; false when it cannot be read. With
// opened, the file's identity as it was read.
bool readSmallFile(const std::string& path, std::string& text, size_t limit, struct stat* opened = nullptr) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) return false;
    if (opened && ::fstat(fd, opened) != 0) {
        ::close(fd);
        return false;
    }
    text.clear();
    char buffer[512];
    while (text.size() < limit) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        text.append(buffer, size_t(n));
    }
    ::close(fd);
    if (text.size() > limit) text.resize(limit);
    return true;
}

bool allDigits(const std::string& s) {
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

// The live holder of the lock file at path, removing it when it is stale.
// 0 when there is none (any more). Only the file that was read is removed:
// another program may have replaced a stale one with its own meanwhile.
pid_t liveHolder(const std::string& path) {
    std::string text;
    struct stat read {};
    if (!readSmallFile(path, text, 64, &read)) return 0;
    const pid_t pid = parseLockPid(text);
    if (pid > 0 && pid == getpid()) {
        // Ours: held by another port of this process, or left by a process
        // that had our number before us.
        if (heldHere(path)) return pid;
    } else if (pid > 0 && processAlive(pid)) {
        return pid;
    }
    struct stat now {};
    if (::lstat(path.c_str(), &now) == 0 && now.st_dev == read.st_dev && now.st_ino == read.st_ino)
        ::unlink(path.c_str());
    return 0;
}

int64_t monotonicMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

}  // namespace

std::string defaultLockDirectory() {
    struct stat st {};
    if (::stat("/run/lock", &st) == 0 && S_ISDIR(st.st_mode)) return "/run/lock";
    return "/var/lock";
}

std::string lockNameOf(const std::string& devicePath) {
    std::string path = devicePath;
    if (char* real = ::realpath(devicePath.c_str(), nullptr)) {
        path = real;
        std::free(real);
    }
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

pid_t parseLockPid(const std::string& text) {
    // Ten characters, right-aligned, then a newline; be lenient about the
    // blanks but not about anything else.
    size_t begin = text.find_first_not_of(" \t");
    size_t end = text.find_last_not_of(" \t\r\n");
    if (begin == std::string::npos || end == std::string::npos || end < begin) return 0;
    const std::string digits = text.substr(begin, end - begin + 1);
    if (!allDigits(digits) || digits.size() > 10) return 0;
    const long long value = std::stoll(digits);
    if (value <= 0 || value > INT_MAX) return 0;
    return pid_t(value);
}

bool processAlive(pid_t pid) {
    if (pid <= 0) return false;
    if (::kill(pid, 0) != 0 && errno != EPERM) return false;
    // A zombie has ended but is still listed until its parent collects it.
    std::string stat;
    if (!readSmallFile("/proc/" + std::to_string(pid) + "/stat", stat, 512)) return true;
    const size_t close = stat.rfind(')');
    if (close == std::string::npos || close + 2 >= stat.size()) return true;
    const char state = stat[close + 2];
    return state != 'Z' && state != 'X';
}

std::string processName(pid_t pid) {
    if (pid <= 0) return {};
    std::string name;
    if (!readSmallFile("/proc/" + std::to_string(pid) + "/comm", name, 64)) return {};
    while (!name.empty() && (name.back() == '\n' || name.back() == '\r')) name.pop_back();
    return name;
}

pid_t advisoryLockHolder(dev_t dev, ino_t ino) {
    std::ifstream locks("/proc/locks");
    if (!locks) return 0;
    char wanted[64];
    std::snprintf(wanted, sizeof wanted, "%02x:%02x:%llu", major(dev), minor(dev),
                  static_cast<unsigned long long>(ino));
    std::string line;
    for (int n = 0; n < MaxLockLines && std::getline(locks, line); ++n) {
        // "1: FLOCK  ADVISORY  WRITE 1234 00:05:1100 0 EOF"; waiters carry "->".
        std::istringstream fields(line);
        std::string number, kind, mode, access, pid, file;
        fields >> number >> kind;
        if (kind == "->" || kind != "FLOCK") continue;
        fields >> mode >> access >> pid >> file;
        if (file == wanted && allDigits(pid)) return pid_t(std::stol(pid));
    }
    return 0;
}

// The open files are told by the path their link names: readlink never
// touches the file, so a file on a hung network mount cannot stall the
// search as a stat would. The search also stops at its time bound.
pid_t deviceHolder(const std::string& devicePath) {
    std::string device = devicePath;
    if (char* real = ::realpath(devicePath.c_str(), nullptr)) {
        device = real;
        std::free(real);
    }
    DIR* proc = ::opendir("/proc");
    if (!proc) return 0;
    const int64_t deadline = monotonicMs() + HolderSearchMs;
    const pid_t self = getpid();
    pid_t found = 0;
    int processes = 0;
    int files = 0;
    char target[PATH_MAX];
    while (dirent* entry = ::readdir(proc)) {
        if (!allDigits(entry->d_name)) continue;
        if (++processes > MaxProcesses || files > MaxFilesInAll || monotonicMs() > deadline) break;
        const pid_t pid = pid_t(std::stol(entry->d_name));
        const std::string fdDir = std::string("/proc/") + entry->d_name + "/fd";
        DIR* fds = ::opendir(fdDir.c_str());
        if (!fds) continue;   // another user's process: not ours to look into
        bool holds = false;
        int perProcess = 0;
        while (dirent* fd = ::readdir(fds)) {
            if (fd->d_name[0] == '.') continue;
            if (++perProcess > MaxFilesPerProcess || ++files > MaxFilesInAll) break;
            const ssize_t n = ::readlink((fdDir + "/" + fd->d_name).c_str(), target, sizeof target - 1);
            if (n <= 0) continue;
            if (device.compare(0, std::string::npos, target, size_t(n)) == 0) {
                holds = true;
                break;
            }
        }
        ::closedir(fds);
        if (!holds) continue;
        found = pid;
        if (pid != self) break;
    }
    ::closedir(proc);
    return found;
}

// A getty is found by its command line, which every user may read: its
// arguments name the line it serves ("ttyS0" or "/dev/ttyS0").
pid_t consoleHolder(const std::string& devicePath) {
    const std::string name = lockNameOf(devicePath);
    DIR* proc = ::opendir("/proc");
    if (!proc) return 0;
    const int64_t deadline = monotonicMs() + HolderSearchMs;
    pid_t found = 0;
    int processes = 0;
    while (dirent* entry = ::readdir(proc)) {
        if (!allDigits(entry->d_name)) continue;
        if (++processes > MaxProcesses || monotonicMs() > deadline) break;
        const pid_t pid = pid_t(std::stol(entry->d_name));
        if (processName(pid).find("getty") == std::string::npos) continue;
        std::string arguments;
        if (!readSmallFile(std::string("/proc/") + entry->d_name + "/cmdline", arguments, 4096)) continue;
        size_t start = 0;
        while (start < arguments.size()) {
            size_t end = arguments.find('\0', start);
            if (end == std::string::npos) end = arguments.size();
            const std::string argument = arguments.substr(start, end - start);
            if (argument == name || argument == "/dev/" + name) found = pid;
            start = end + 1;
        }
        if (found) break;
    }
    ::closedir(proc);
    return found;
}

PortLockFile::Outcome PortLockFile::take(const std::string& directory, const std::string& name,
                                         pid_t& holder) {
    holder = 0;
    if (held()) return Outcome::Taken;
    const std::string lockPath = directory + "/LCK.." + name;
    char content[16];
    std::snprintf(content, sizeof content, "%10ld\n", static_cast<long>(getpid()));

    // The lock file appears complete or not at all: written under a
    // temporary name first and then linked to its own, which fails when
    // another program was quicker.
    std::string temporary;
    Outcome outcome = Outcome::NotTaken;
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (pid_t other = liveHolder(lockPath)) {
            holder = other;
            outcome = Outcome::HeldByOther;
            break;
        }
        if (temporary.empty()) {
            std::string pattern = directory + "/LTMP.XXXXXX";
            int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
            if (fd < 0) break;   // a folder we may not write to: no lock file
            temporary = pattern;
            const size_t length = std::strlen(content);
            const bool written = ::fchmod(fd, 0644) == 0 && ::write(fd, content, length) == ssize_t(length);
            ::close(fd);
            if (!written) break;
        }
        if (::link(temporary.c_str(), lockPath.c_str()) == 0) {
            path_ = lockPath;
            remember(path_);
            outcome = Outcome::Taken;
            break;
        }
        if (errno != EEXIST) break;
    }
    if (!temporary.empty()) ::unlink(temporary.c_str());
    // A stale lock file that cannot be removed (another user's, in a sticky
    // folder) leaves the port free but unmarked.
    if (outcome == Outcome::NotTaken) {
        if (pid_t other = liveHolder(lockPath)) {
            holder = other;
            outcome = Outcome::HeldByOther;
        }
    }
    return outcome;
}

void PortLockFile::release() {
    if (path_.empty()) return;
    // Only a lock file that still names us is removed.
    std::string text;
    if (readSmallFile(path_, text, 64) && parseLockPid(text) == getpid()) ::unlink(path_.c_str());
    forget(path_);
    path_.clear();
}
