#include "app/ConfigCheck.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "app/InstallLayout.h"
#include "app/Installation.h"
#include "platform/IniLines.h"
#include "platform/Profile.h"
#include "session/AppContext.h"

namespace {

constexpr uint32_t CONFIG_MISSING_TEXT = 0x82D0;     // "The configuration file %s is missing ..."
constexpr uint32_t CONFIG_UNREADABLE_TEXT = 0x82D1;  // "The configuration file %s cannot be read ..."
constexpr uint32_t CONFIG_BROKEN_TEXT = 0x82D2;      // "The configuration file %s holds no [BASIC Configurations] section ..."
constexpr uint32_t OLD_FOLDER_SETTING_TEXT = 0x82D3; // "Your settings %s keep %s=%s ..."
// Where the package installed everything before it followed the system's layout.
constexpr const char* OLD_INSTALL_FOLDER = "/opt/fieldservice";

// Every line of the file as the settings reader takes it; false when the
// file cannot be opened.
template <typename Visit>
bool eachIniLine(const std::string& path, Visit visit) {
    std::FILE* f = openRegularFileForReading(path);
    if (!f) return false;
    IniLineReader reader(f);
    for (IniLine line; reader.next(line);) visit(parseIniLine(line.head));
    std::fclose(f);
    return true;
}

// The section "[BASIC Configurations]" is what makes the file the program's
// settings; an edit that lost it, or a file that is no text at all, leaves
// every key of it unread.
bool holdsSettingsSection(const std::string& path) {
    bool found = false;
    eachIniLine(path, [&](const IniParsedLine& line) {
        found = found || (line.kind == IniLineKind::Section && iniNamesEqual(line.name, CONFIG_SECTION));
    });
    return found;
}

// Keys of the user's own config.ini whose value is a place in the old
// installation folder (a history database kept there, say): such a place
// is gone after the upgrade, or stays only as long as what is in it.
void noteOldFolderSettings(Settings& settings) {
    if (settings.userProfilePath.empty()) return;
    const std::string old = OLD_INSTALL_FOLDER;
    eachIniLine(settings.userProfilePath, [&](const IniParsedLine& line) {
        const std::string& value = line.value;
        if (line.kind != IniLineKind::Key || value.compare(0, old.size(), old) != 0) return;
        if (value.size() > old.size() && value[old.size()] != '/') return;   // /opt/fieldservice2 is another
        settings.installationNotes.push_back({OLD_FOLDER_SETTING_TEXT, {settings.userProfilePath, line.name, value}});
    });
}

}  // namespace

void checkSystemConfig(Settings& settings, const InstallLayout& layout) {
    settings.profilePath = layout.configFile;
    uint32_t problem = 0;
    std::error_code ec;
    if (!std::filesystem::exists(layout.configFile, ec))
        problem = CONFIG_MISSING_TEXT;
    else if (!profileReadable(layout.configFile))
        problem = CONFIG_UNREADABLE_TEXT;
    else if (!holdsSettingsSection(layout.configFile))
        problem = CONFIG_BROKEN_TEXT;
    if (problem != 0) {
        settings.installationNotes.push_back({problem, {layout.configFile, layout.shippedConfigFile}});
        // Without the shipped copy either, the loader's own message tells.
        if (profileReadable(layout.shippedConfigFile)) settings.profilePath = layout.shippedConfigFile;
    }
    noteOldFolderSettings(settings);
}
