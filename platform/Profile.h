#pragma once
// Reading and writing keys of an initialisation file (config.ini): section
// lines in brackets, key=value lines. Sections and keys match without regard
// to case. A write keeps everything else of the file and never loses it.
#include <optional>
#include <string>

// The value of key in section, or def when the file, section or key is missing.
// Values longer than 4095 characters are cut to 4095.
std::string profileString(const std::string& path, const std::string& section,
                          const std::string& key, const std::string& def);
// The value read as a decimal integer, or def when missing.
unsigned profileInt(const std::string& path, const std::string& section,
                    const std::string& key, unsigned def);
// Sets key=value in section, creating the key, the section or the file when
// missing; true when the file was written.
bool writeProfileString(const std::string& path, const std::string& section,
                        const std::string& key, const std::string& value);
// The value as it stands in the file, or nothing when the key is missing.
std::optional<std::string> profileValue(const std::string& path, const std::string& section,
                                        const std::string& key);
// Removes the key's line from section; true when the file no longer holds
// the key (a missing file or key counts).
bool removeProfileKey(const std::string& path, const std::string& section, const std::string& key);
// True when path names a regular file that can be opened for reading.
bool profileReadable(const std::string& path);
