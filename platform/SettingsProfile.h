#pragma once
// The settings as the program reads and writes them. The installation's
// config.ini holds the defaults; when it is not the operator's to write,
// the operator's own config.ini lies over it key by key: a key the user
// file holds wins, every other key (a new default that an upgrade brought
// among them) comes from the installed file. The user file holds only what
// the operator changed.
#include <optional>
#include <string>

class SettingsProfile {
public:
    // user empty: the installed file is read and written alone.
    SettingsProfile(std::string installed, std::string user = {})
        : installed_(std::move(installed)), user_(std::move(user)) {}

    // The value of key in section, or def when neither file holds it
    // (values cut to 4095 characters, as profileString reads them).
    std::string readString(const std::string& section, const std::string& key, const std::string& def) const;
    // The value read as profileInt reads it, or def.
    unsigned readInt(const std::string& section, const std::string& key, unsigned def) const;

    // Keeps key=value: in the installed file when there is no user file;
    // otherwise in the user file when it differs from the installed value,
    // and out of it when it is the installed value again. The user's folder
    // is made when missing. False when the file could not be written;
    // writtenFile() names it.
    bool write(const std::string& section, const std::string& key, const std::string& value) const;
    // The file writes go to.
    const std::string& writtenFile() const { return user_.empty() ? installed_ : user_; }

private:
    std::optional<std::string> value(const std::string& section, const std::string& key) const;

    std::string installed_;
    std::string user_;
};
