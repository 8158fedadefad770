#include "platform/UserDirs.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

constexpr const char* APP_FOLDER = "/fieldservice";

bool isFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool writableFolder(const std::string& path) { return isFolder(path) && ::access(path.c_str(), W_OK | X_OK) == 0; }

std::string homeFolder(const Environment& env) {
    const char* home = env("HOME");
    if (home && home[0] == '/') return home;
    // A service started without HOME still has a home in the password file.
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir && pw->pw_dir[0] == '/') return pw->pw_dir;
    return "/tmp";
}

// The base folder a variable names, or its default with a note when the
// value cannot serve: a relative path means nothing by the XDG rules, and
// a folder that is missing or not the user's to write would make every
// later write fail.
std::string baseFolder(const Environment& env, const char* variable, const std::string& fallback,
                       std::ostream& notes) {
    const char* value = env(variable);
    if (!value || !*value) return fallback;
    std::string path = value;
    const char* why = nullptr;
    if (path[0] != '/') why = "is not an absolute path";
    else if (!isFolder(path)) why = "names no folder";
    else if (::access(path.c_str(), W_OK | X_OK) != 0) why = "names a folder that cannot be written";
    if (!why) {
        while (path.size() > 1 && path.back() == '/') path.pop_back();
        return path;
    }
    notes << "fieldservice: " << variable << "=" << path << " " << why << "; using "
          << (fallback.empty() ? std::string("the cache folder") : fallback) << " instead\n";
    return fallback;
}

// XDG_DOCUMENTS_DIR="$HOME/Documents" in user-dirs.dirs, the file the
// desktop's user-dirs tool writes; the value is "$HOME/..." or absolute.
std::string documentsFolder(const std::string& configBase, const std::string& home) {
    std::ifstream in(configBase + "/user-dirs.dirs");
    std::string line;
    const std::string key = "XDG_DOCUMENTS_DIR=";
    while (std::getline(in, line)) {
        if (line.rfind(key, 0) != 0) continue;
        std::string value = line.substr(key.size());
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
        if (value.rfind("$HOME", 0) == 0) value = home + value.substr(5);
        // "$HOME/" alone turns documents off: the home folder it is.
        if (value.size() > 1 && value.back() == '/') value.pop_back();
        if (!value.empty() && value[0] == '/' && isFolder(value)) return value;
    }
    if (isFolder(home + "/Documents")) return home + "/Documents";
    return home;
}

}  // namespace

Environment processEnvironment() {
    return [](const char* name) -> const char* { return std::getenv(name); };
}

UserDirs findUserDirs(const Environment& env, std::ostream& notes) {
    UserDirs dirs;
    dirs.home = homeFolder(env);
    const std::string configBase = baseFolder(env, "XDG_CONFIG_HOME", dirs.home + "/.config", notes);
    dirs.config = configBase + APP_FOLDER;
    dirs.data = baseFolder(env, "XDG_DATA_HOME", dirs.home + "/.local/share", notes) + APP_FOLDER;
    dirs.state = baseFolder(env, "XDG_STATE_HOME", dirs.home + "/.local/state", notes) + APP_FOLDER;
    dirs.cache = baseFolder(env, "XDG_CACHE_HOME", dirs.home + "/.cache", notes) + APP_FOLDER;
    // The runtime folder has no default: without it the cache serves.
    const std::string runtime = baseFolder(env, "XDG_RUNTIME_DIR", "", notes);
    if (!runtime.empty()) dirs.runtime = runtime + APP_FOLDER;
    dirs.documents = documentsFolder(configBase, dirs.home);
    return dirs;
}

bool makeUserFolder(const std::string& dir) {
    if (dir.empty()) return false;
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    return writableFolder(dir);
}
