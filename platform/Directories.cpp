#include "platform/Directories.h"

#include <fcntl.h>
#include <glob.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

namespace {

// glob(3) also treats "[...]" as a wildcard and "\" as an escape; the job's
// path knows only "*" and "?", so everything else is escaped.
std::string globPattern(const std::string& pattern) {
    std::string out;
    out.reserve(pattern.size() + 8);
    for (char c : pattern) {
        if (c == '[' || c == ']' || c == '\\') out += '\\';
        out += c;
    }
    return out;
}

bool isRegularFile(const char* path) {
    struct stat st;
    return stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

std::vector<std::string> matchingFiles(const std::string& pattern) {
    std::vector<std::string> files;
    if (pattern.empty()) return files;
    glob_t found{};
    int rc = glob(globPattern(pattern).c_str(), 0, nullptr, &found);
    if (rc == 0) {
        for (size_t i = 0; i < found.gl_pathc; ++i) {
            if (isRegularFile(found.gl_pathv[i])) files.emplace_back(found.gl_pathv[i]);
        }
    }
    globfree(&found);
    // glob sorts by the locale's collation; plain byte order keeps runs alike
    // whatever the locale.
    std::sort(files.begin(), files.end());
    return files;
}

WorkingDirectory::WorkingDirectory() {
    // A handle finds the way back even if the directory is renamed meanwhile;
    // the path is the fallback where no handle can be had.
    handle_ = open(".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    std::error_code ec;
    path_ = std::filesystem::current_path(ec).string();
}

WorkingDirectory::~WorkingDirectory() {
    restore();
    if (handle_ >= 0) close(handle_);
}

bool WorkingDirectory::enter(const std::string& dir) {
    if (dir.empty()) return true;
    return chdir(dir.c_str()) == 0;
}

void WorkingDirectory::restore() {
    if (handle_ >= 0 && fchdir(handle_) == 0) return;
    if (!path_.empty()) {
        std::error_code ec;
        std::filesystem::current_path(path_, ec);
    }
}
