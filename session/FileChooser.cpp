#include "session/FileChooser.h"

#include <filesystem>

#include "platform/Profile.h"
#include "session/AppContext.h"

namespace {

constexpr const char* STATE_FILE = "/state.ini";
constexpr const char* STATE_SECTION = "File Choosers";
constexpr const char* LAST_FOLDER_KEY = "last_folder";

bool isFolder(const std::string& path) {
    std::error_code ec;
    return !path.empty() && std::filesystem::is_directory(path, ec);
}

// The state file is the user's, in $XDG_STATE_HOME: what a chooser showed
// last is no setting, and it must not reach the installation's config.ini.
std::string stateFile(const Settings& settings) {
    return settings.user.state.empty() ? std::string() : settings.user.state + STATE_FILE;
}

std::optional<std::string> chosen(Settings& settings, std::optional<std::string> path) {
    if (path) rememberChosenFile(settings, *path);
    return path;
}

}  // namespace

std::string chooserStartFolder(const Settings& settings) {
    if (isFolder(settings.lastFolder)) return settings.lastFolder;
    const std::string file = stateFile(settings);
    if (!file.empty()) {
        std::string last = profileString(file, STATE_SECTION, LAST_FOLDER_KEY, "");
        if (isFolder(last)) return last;
    }
    if (isFolder(settings.user.documents)) return settings.user.documents;
    if (isFolder(settings.user.home)) return settings.user.home;
    std::error_code ec;
    return std::filesystem::current_path(ec).string();
}

void rememberChosenFile(Settings& settings, const std::string& path) {
    std::error_code ec;
    std::string folder = std::filesystem::absolute(path, ec).parent_path().string();
    if (ec || folder.empty() || folder == settings.lastFolder) return;
    settings.lastFolder = folder;
    const std::string file = stateFile(settings);
    // Not worth a message when it fails: the next chooser starts elsewhere.
    if (!file.empty()) {
        std::filesystem::create_directories(settings.user.state, ec);
        writeProfileString(file, STATE_SECTION, LAST_FOLDER_KEY, folder);
    }
}

std::optional<std::string> chooseFileToOpen(AppContext& ctx, const std::string& filter,
                                            const std::string& extension, const std::string& caption) {
    return chosen(ctx.settings, ctx.ui().chooseOpenFile(
                                    FileChoice{filter, extension, chooserStartFolder(ctx.settings), {}, caption}));
}

std::optional<std::string> chooseFileToSave(AppContext& ctx, const std::string& filter,
                                            const std::string& extension, const std::string& proposedName) {
    return chosen(ctx.settings, ctx.ui().chooseSaveFile(
                                    FileChoice{filter, extension, chooserStartFolder(ctx.settings), proposedName, {}}));
}
