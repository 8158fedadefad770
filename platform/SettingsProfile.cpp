#include "platform/SettingsProfile.h"

#include <filesystem>

#include "platform/Profile.h"
#include "platform/UserDirs.h"

std::optional<std::string> SettingsProfile::value(const std::string& section, const std::string& key) const {
    if (!user_.empty())
        if (auto own = profileValue(user_, section, key)) return own;
    return profileValue(installed_, section, key);
}

std::string SettingsProfile::readString(const std::string& section, const std::string& key,
                                        const std::string& def) const {
    if (auto v = value(section, key)) return *v;
    return def.size() > 4095 ? def.substr(0, 4095) : def;
}

unsigned SettingsProfile::readInt(const std::string& section, const std::string& key, unsigned def) const {
    // The file the value comes from reads it, with its rules for an empty
    // or malformed number.
    if (!user_.empty() && profileValue(user_, section, key)) return profileInt(user_, section, key, def);
    return profileInt(installed_, section, key, def);
}

bool SettingsProfile::write(const std::string& section, const std::string& key, const std::string& value) const {
    if (user_.empty()) return writeProfileString(installed_, section, key, value);
    if (profileValue(installed_, section, key) == value) return removeProfileKey(user_, section, key);
    makeUserFolder(std::filesystem::path(user_).parent_path().string());
    return writeProfileString(user_, section, key, value);
}
