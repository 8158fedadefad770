#include "app/InstallLayout.h"

#include <filesystem>
#include <system_error>

#include "app/Installation.h"

namespace fs = std::filesystem;

namespace {

bool isFile(const fs::path& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

bool holdsTexts(const fs::path& dir) {
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        if (it->path().filename().string().rfind("messages.", 0) == 0) return true;
    return false;
}

InstallLayout directoryLayout(const fs::path& dir) {
    InstallLayout layout;
    layout.dataDirectory = dir.string();
    while (layout.dataDirectory.size() > 1 && layout.dataDirectory.back() == '/') layout.dataDirectory.pop_back();
    layout.configFile = (dir / CONFIG_FILE_NAME).string();
    return layout;
}

}  // namespace

InstallLayout findInstallLayout(const std::string& programFile, const std::string& currentDirectory) {
    const fs::path current(currentDirectory);
    if (isFile(current / CONFIG_FILE_NAME) && holdsTexts(current)) return directoryLayout(current);

    std::error_code ec;
    fs::path program = programFile.empty() ? fs::path() : fs::canonical(programFile, ec);
    if (ec) program.clear();
    const fs::path bin = program.parent_path();
    if (!program.empty() && bin.filename() == "bin") {
        const fs::path prefix = bin.parent_path();
        const fs::path data = prefix / "share" / "fieldservice";
        if (fs::is_directory(data, ec)) {
            InstallLayout layout;
            layout.system = true;
            layout.dataDirectory = data.string();
            // A package installs into /usr and keeps its configuration in
            // /etc; an installation elsewhere keeps it under its own prefix.
            const fs::path etc = prefix == "/usr" ? fs::path("/etc") : prefix / "etc";
            layout.configFile = (etc / "fieldservice" / CONFIG_FILE_NAME).string();
            layout.shippedConfigFile = (data / SHIPPED_CONFIG_NAME).string();
            return layout;
        }
    }
    if (isFile(current / CONFIG_FILE_NAME)) return directoryLayout(current);
    if (!program.empty() && isFile(bin / CONFIG_FILE_NAME)) return directoryLayout(bin);
    return directoryLayout(current);
}

std::string runningProgramFile() {
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : self.string();
}
