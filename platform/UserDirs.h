#pragma once
// The folders of the user who runs the program, as the XDG base directories
// name them: where the operator's settings, data (load backups), state (the
// folder a file chooser showed last), cache and runtime files go when the
// installation directory is not theirs to write, and the documents folder
// a file chooser starts in the first time.
#include <functional>
#include <ostream>
#include <string>

struct UserDirs {
    std::string home;        // $HOME
    std::string config;      // $XDG_CONFIG_HOME/fieldservice (~/.config/fieldservice)
    std::string data;        // $XDG_DATA_HOME/fieldservice (~/.local/share/fieldservice)
    std::string state;       // $XDG_STATE_HOME/fieldservice (~/.local/state/fieldservice)
    std::string cache;       // $XDG_CACHE_HOME/fieldservice (~/.cache/fieldservice)
    std::string runtime;     // $XDG_RUNTIME_DIR/fieldservice; empty without a usable $XDG_RUNTIME_DIR
    std::string documents;   // XDG_DOCUMENTS_DIR of user-dirs.dirs, ~/Documents, or home
};

// The environment as the folders are read from it: the value of a variable,
// or nullptr when it is not set.
using Environment = std::function<const char*(const char*)>;
Environment processEnvironment();

// Reads the folders from env. A variable that is relative, names a folder
// that does not exist or one the user cannot write is not used: its default
// takes its place, and notes gets one line about it. The folders below the
// bases ("fieldservice") are not created here.
UserDirs findUserDirs(const Environment& env, std::ostream& notes);

// Creates dir and its parents when missing; true when it is a folder the
// user can create files in.
bool makeUserFolder(const std::string& dir);
