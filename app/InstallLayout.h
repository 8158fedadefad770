#pragma once
// Where the program's files are. Two layouts:
//  - an installation directory: config.ini, the language and help files
//    and the demo bus in one folder (build/dist, a copy of the operator's
//    own, the current directory the program was started in);
//  - the system's: the program in <prefix>/bin, its read-only files in
//    <prefix>/share/fieldservice and the administrator's config.ini in
//    /etc/fieldservice (<prefix>/etc/fieldservice for a prefix other than
//    /usr). Nothing is written there; every user's settings lie over it.
#include <string>

struct InstallLayout {
    std::string dataDirectory;   // texts, help files, demo bus; no trailing "/"
    std::string configFile;      // the config.ini read for defaults
    // The package's own copy of config.ini as shipped, read when the
    // administrator's file is missing or broken; empty for an installation
    // directory.
    std::string shippedConfigFile;
    bool system = false;
};

inline constexpr const char* SHIPPED_CONFIG_NAME = "default-config.ini";

// The layout of a program at programFile started in currentDirectory, in
// this order: the current directory when it holds config.ini and a
// messages.* file; the system's when the program lies in <prefix>/bin
// beside <prefix>/share/fieldservice; the current directory when it holds
// config.ini; the program's own folder when it does; else the current
// directory (whose missing config.ini the loader reports).
InstallLayout findInstallLayout(const std::string& programFile, const std::string& currentDirectory);

// The running program's own file (empty when it cannot be told).
std::string runningProgramFile();
