#pragma once
// The installation: where the program finds its config.ini, the language
// files of the configured language and its help files.
#include <iosfwd>
#include <string>

#include "platform/UserDirs.h"

class AppContext;
struct Settings;

enum class LoadResult { Ok, NoConfiguration, NoLanguages };

inline constexpr const char* CONFIG_FILE_NAME = "config.ini";
inline constexpr const char* CONFIG_SECTION = "BASIC Configurations";
// The service history's switch and database location in config.ini.
inline constexpr const char* HISTORY_JOURNAL_KEY = "history_journal";
inline constexpr const char* HISTORY_SERVER_KEY = "history_server";
// The authorities a network port's TLS server is checked against; empty: the system's.
inline constexpr const char* TLS_CA_FILE_KEY = "tls_ca_file";
inline constexpr const char* HISTORY_DATABASE_KEY = "history_database";
inline constexpr const char* HISTORY_FILE_NAME = "history.sqlite";

// Where the service history is kept: the configured path, else
// history.sqlite in the user's data folder; empty when neither is known.
std::string historyDatabasePath(const Settings& settings, const std::string& configured);

// Reads the current directory into installDirectory (without a
// trailing "/") and sets profilePath beside it; finds the user's folders in
// env (notes tells of a variable that could not be used) and, when the
// installed config.ini cannot be written, sets userProfilePath in the
// user's config folder. False when the directory cannot be read.
bool InitInstallDirectory(Settings& settings, const Environment& env, std::ostream& notes);
bool InitInstallDirectory(Settings& settings);

// The program's start: finds the installation from the program's own file
// and the current directory (see InstallLayout.h). An installation
// directory is used as InitInstallDirectory uses the current one; the
// system's layout reads the texts from its share folder, the
// administrator's config.ini (checked first, see ConfigCheck.h) under the
// user's own, and is never written. False when the current directory
// cannot be read.
bool InitInstallation(Settings& settings, const std::string& programFile, const Environment& env,
                      std::ostream& notes);
bool InitInstallation(Settings& settings);

// True when the installed config.ini can be written by this user (or, when
// it is missing, created in its directory).
bool installedProfileWritable(const std::string& installDirectory);

// Reads config.ini, loads the parameter, error and message tables of the
// configured language from the installation directory, sets the title and
// the help file path, then tells the installation's notes. The window
// applies title, menu captions and status text afterwards. Each failure has
// shown its "Loader Error" box; after NoConfiguration nothing has changed.
LoadResult loadInstallationCore(AppContext& ctx);

// The program's arguments joined with single blanks: the command line.
std::string commandLineFromArgs(int argc, char** argv);

// True when the command line holds one of the batch options "/c " or "/l ".
bool hasBatchOption(const std::string& commandLine);
