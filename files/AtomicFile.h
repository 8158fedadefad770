#pragma once
// Files written whole or not at all: the content goes to a temporary file in
// the target's own folder, which is renamed over the target only once every
// byte has been written and flushed. A failure removes the temporary file and
// leaves an earlier file of the target's name as it was.
#include <functional>
#include <string>

// One file on its way: written by write, put in place by commit, and
// forgotten (temporary file removed) when destroyed uncommitted. Two pending
// files let a pair (parameter file and report) be replaced together.
class PendingFile {
public:
    PendingFile() = default;
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    bool write(const std::string& path, const std::string& content);
    bool commit();

private:
    std::string path_;
    std::string tmpPath_;
};

bool writeFileAtomically(const std::string& path, const std::string& content);

// Fault injection for tests: while set, a write whose target makes the
// function return true stops half way, as on a full disk.
void setFileWriteFault(std::function<bool(const std::string& path)> fault);

// Reads a whole plain file of at most maxBytes; false when it cannot be
// opened, read in full, is larger, or is no plain file.
bool readWholeFile(const std::string& path, std::string& content, size_t maxBytes);
