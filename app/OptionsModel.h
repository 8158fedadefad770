#pragma once
// What the options dialog shows and what its OK does, without a screen: the
// language codes of the installation, the entry the configured language
// selects, the port names, and writing the choice to config.ini before the
// installation is loaded again.

#include <functional>
#include <string>
#include <vector>

struct Settings;

// The language codes of the "messages.*" files in dir: the part of each name
// after its first ".", lower-cased, sorted. Names without a point, entries
// that are not files and empty codes are left out; "messages.ITA" and
// "messages.ita" give one entry.
std::vector<std::string> languageCodes(const std::string& dir);

// The entry that begins with language, compared without regard to case. The
// search starts at the second entry, runs to the end and wraps around to the
// first, which is tried last. -1 when none matches.
int findLanguageEntry(const std::vector<std::string>& codes, const std::string& language);

// "COM 01" to "COM 24".
std::vector<std::string> portNames();
// The entry the configured port selects: port - 1, or -1 outside 1 to 24.
int portEntry(unsigned port);

// What the operator chose; -1 stands for "nothing selected".
struct OptionsChoice {
    int languageEntry = -1;
    int portEntry = -1;
    bool connectOnStartup = false;
    bool backupBeforeLoad = true;
    bool verifyAfterLoad = true;
};

// OK: language = the chosen code (kept when none is chosen), lower-cased;
// serial port = entry + 1 (0 when none); the five keys written to the
// profile (language, serial_port, connect_on_startup, backup_before_load,
// verify_after_load); then reload runs (the installation loader; its result is not
// looked at, its own messages tell of a failure).
void applyOptions(Settings& state, const std::vector<std::string>& codes, const OptionsChoice& choice,
                  const std::function<bool()>& reload);
