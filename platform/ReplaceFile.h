#pragma once
// Writing a new version of a file without ever losing the old one: the new
// content goes to a temporary file in the same directory, which is renamed
// into place only when it was written in full.
#include <cstdio>
#include <functional>
#include <string>

// write() fills the temporary file and returns false to give up. A symbolic
// link is followed, so the file it names is replaced and the link stays. An
// existing file keeps its permission bits. True when the new version is in
// place; on false the old file (or its absence) is unchanged.
bool replaceFile(const std::string& path, const std::function<bool(std::FILE*)>& write);
