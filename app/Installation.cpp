#include "app/Installation.h"

#include <strings.h>
#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <system_error>

#include "session/AppContext.h"
#include "session/PlantSender.h"
#include "session/ServiceJournal.h"
#include "app/BatchPattern.h"
#include "app/ConfigCheck.h"
#include "app/InstallLayout.h"
#include "platform/Profile.h"
#include "texts/TextFill.h"
#include "texts/TextTable.h"

namespace {

constexpr const char* LOADER_CAPTION = "Loader Error";
constexpr const char* NO_CONFIGURATION_TEXT =
    "Sorry, no configuration file available!\r\nPlease, check your installation.";
constexpr const char* NO_LANGUAGES_TEXT =
    "Sorry, no languages available!\r\nPlease, check your installation.";
constexpr const char* HELP_FILE_TEMPLATE = "help_???.hlp";

std::string helpFileName(const std::string& language) {
    std::string name = HELP_FILE_TEMPLATE;
    size_t marker = name.find("???");
    if (marker != std::string::npos) name.replace(marker, 3, language);
    return name;
}

// The path of a language file in the installation's folder. The options
// dialog offers every "messages.*" file with its code lower-cased and writes
// that code back, so "messages.ITA" is chosen as "ita": on a file system
// that tells cases apart the exact name may not exist, and the file whose
// name differs only in case is the one meant. The exact name wins when it
// exists. The folder is the installation's, not the current directory: the
// program installed in /usr/bin runs wherever it was started.
std::string languageFileName(const std::string& dir, const std::string& base, const std::string& language) {
    const std::string folder = dir.empty() ? "." : dir;
    std::string name = base + "." + language;
    std::error_code ec;
    if (std::filesystem::exists(folder + "/" + name, ec)) return folder + "/" + name;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::string entry = it->path().filename().string();
        if (strcasecmp(entry.c_str(), name.c_str()) == 0) return folder + "/" + entry;
    }
    return folder + "/" + name;
}

std::string noteValue(const InstallationNote& note, size_t i) {
    return i < note.values.size() ? note.values[i] : std::string();
}

// What start-up found about the installation, told in the loaded language.
void tellInstallationNotes(AppContext& ctx) {
    Settings& state = ctx.settings;
    for (const InstallationNote& note : state.installationNotes)
        ctx.ui().message(state.windowTitle,
                         fillText(ctx.message(note.text), {noteValue(note, 0), noteValue(note, 1), noteValue(note, 2)}),
                         MessageIcon::Exclamation);
    state.installationNotes.clear();
}

}  // namespace

std::string historyDatabasePath(const Settings& settings, const std::string& configured) {
    if (!configured.empty()) return configured;
    return settings.user.data.empty() ? std::string() : settings.user.data + "/" + HISTORY_FILE_NAME;
}

bool installedProfileWritable(const std::string& installDirectory) {
    const std::string file = installDirectory + "/" + CONFIG_FILE_NAME;
    if (::access(file.c_str(), F_OK) == 0) return ::access(file.c_str(), W_OK) == 0;
    return ::access(installDirectory.c_str(), W_OK | X_OK) == 0;
}

namespace {

// An installation directory: everything in dir, settings in its config.ini.
void useInstallDirectory(Settings& state, std::string dir, const Environment& env, std::ostream& notes) {
    while (!dir.empty() && dir.back() == '/') dir.pop_back();
    state.installDirectory = dir;
    state.profilePath = dir + "/" + CONFIG_FILE_NAME;
    state.user = findUserDirs(env, notes);
    // An installation the operator may write (a copy of their own, or run as
    // its owner) keeps the settings in its own config.ini, as it always did.
    state.userProfilePath =
        installedProfileWritable(dir.empty() ? "/" : dir) ? std::string() : state.user.config + "/" + CONFIG_FILE_NAME;
}

}  // namespace

bool InitInstallDirectory(Settings& state, const Environment& env, std::ostream& notes) {
    std::error_code ec;
    std::string dir = std::filesystem::current_path(ec).string();
    if (ec || dir.empty()) return false;
    useInstallDirectory(state, dir, env, notes);
    return true;
}

bool InitInstallDirectory(Settings& state) { return InitInstallDirectory(state, processEnvironment(), std::cerr); }

bool InitInstallation(Settings& state, const std::string& programFile, const Environment& env, std::ostream& notes) {
    std::error_code ec;
    const std::string current = std::filesystem::current_path(ec).string();
    if (ec || current.empty()) return false;
    const InstallLayout layout = findInstallLayout(programFile, current);
    if (!layout.system) {
        useInstallDirectory(state, layout.dataDirectory, env, notes);
        return true;
    }
    // The system's files are the administrator's: every user, root too,
    // keeps what the Options dialog changes in a config.ini of their own.
    state.installDirectory = layout.dataDirectory;
    state.sharedInstallation = true;
    state.user = findUserDirs(env, notes);
    state.userProfilePath = state.user.config + "/" + CONFIG_FILE_NAME;
    checkSystemConfig(state, layout);
    return true;
}

bool InitInstallation(Settings& state) {
    return InitInstallation(state, runningProgramFile(), processEnvironment(), std::cerr);
}

LoadResult loadInstallationCore(AppContext& ctx) {
    Settings& state = ctx.settings;
    const std::string config =
        state.profilePath.empty() ? state.installDirectory + "/" + CONFIG_FILE_NAME : state.profilePath;
    if (!profileReadable(config)) {
        ctx.ui().message(LOADER_CAPTION, NO_CONFIGURATION_TEXT, MessageIcon::Stop);
        return LoadResult::NoConfiguration;
    }

    const SettingsProfile profile = state.profile();
    state.language = profile.readString(CONFIG_SECTION, "language", "");
    state.serialPort = static_cast<uint8_t>(profile.readInt(CONFIG_SECTION, "serial_port", 1) & 0xFF);
    state.connectOnStartup = profile.readInt(CONFIG_SECTION, "connect_on_startup", 0) != 0;
    state.backupBeforeLoad = profile.readInt(CONFIG_SECTION, "backup_before_load", 1) != 0;
    state.verifyAfterLoad = profile.readInt(CONFIG_SECTION, "verify_after_load", 1) != 0;
    state.confirmSaveReads = profile.readInt(CONFIG_SECTION, "confirm_save_reads", 1) != 0;
    state.journalEnabled = profile.readInt(CONFIG_SECTION, HISTORY_JOURNAL_KEY, 1) != 0;
    state.journalPath = historyDatabasePath(state, profile.readString(CONFIG_SECTION, HISTORY_DATABASE_KEY, ""));
    if (ctx.journal) ctx.journal->configure(state.journalPath, state.journalEnabled);
    state.historyServer = profile.readString(CONFIG_SECTION, HISTORY_SERVER_KEY, "");
    state.tlsCaFile = profile.readString(CONFIG_SECTION, TLS_CA_FILE_KEY, "");
    if (ctx.plant) ctx.plant->configure(state.journalPath, state.journalEnabled, state.historyServer);

    // Missing parameter or error texts only leave those empty.
    const std::string& dir = state.installDirectory;
    ctx.texts.parameters.Load(languageFileName(dir, "parameters", state.language));
    ctx.texts.errors.Load(languageFileName(dir, "errors", state.language));
    if (!ctx.texts.messages.Load(languageFileName(dir, "messages", state.language))) {
        ctx.ui().message(LOADER_CAPTION, NO_LANGUAGES_TEXT, MessageIcon::Stop);
        return LoadResult::NoLanguages;
    }

    state.installationLoaded = true;
    state.windowTitle = ctx.message(0) + " " + versionText;
    state.helpFilePath = state.installDirectory + "/" + helpFileName(state.language);
    tellInstallationNotes(ctx);
    return LoadResult::Ok;
}

std::string commandLineFromArgs(int argc, char** argv) {
    std::string line;
    for (int i = 1; i < argc && argv && argv[i]; ++i) {
        if (i > 1) line += ' ';
        line += argv[i];
    }
    return line;
}

// One rule for the start-up and the jobs themselves: a line the start-up
// takes for a job is a line the job runs.
bool hasBatchOption(const std::string& commandLine) {
    return parseBatchCommandLine(commandLine).kind != BatchKind::None;
}
