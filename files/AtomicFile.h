#pragma once
// Files written whole or not at all: the content goes to a temporary file in
// the target's own folder, which is renamed over the target only once every
// byte has been written and flushed. A failure removes the temporary file and
// leaves an earlier file of the target's name as it was. An earlier file
// keeps its permission bits, a symbolic link stays a link to the file that
// changes, and a target that is no plain file is refused. In a folder that
// cannot take a new file, a writable file is rewritten in place at commit
// (see platform/ReplaceFile.h).
#include <functional>
#include <memory>
#include <string>

class FileReplacement;

// When a file's bytes must be on the disk. Synced: before it replaces the
// earlier file (a parameter file holds data read from a device, which
// nothing else could give back). Deferred: the writer flushes the whole
// file system once after a run of files (flushFileSystemOf); until then a
// crash of the machine may lose the new file or leave it empty, which suits
// derived data only (a report can be converted again from its parameter
// file). Either way no reader ever sees a half-written file.
enum class Durability { Synced, Deferred };

// One file on its way: written by write, put in place by commit, and
// forgotten (temporary file removed) when destroyed uncommitted. Two pending
// files let a pair (parameter file and report) be replaced together.
class PendingFile {
public:
    PendingFile();
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    bool write(const std::string& path, const std::string& content, Durability durability = Durability::Synced);
    bool commit();

private:
    std::unique_ptr<FileReplacement> replacement_;
};

bool writeFileAtomically(const std::string& path, const std::string& content,
                         Durability durability = Durability::Synced);

// Fault injection for tests: while set, a write whose target makes the
// function return true stops half way, as on a full disk.
void setFileWriteFault(std::function<bool(const std::string& path)> fault);

// Reads a whole plain file of at most maxBytes; false when it cannot be
// opened, read in full, is larger, or is no plain file.
bool readWholeFile(const std::string& path, std::string& content, size_t maxBytes);
