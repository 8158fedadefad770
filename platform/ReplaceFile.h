#pragma once
// Writing a new version of a file without ever losing the old one: the new
// content goes to a temporary file in the same directory, which is renamed
// into place only when it was written in full.
//
// What the user set up stays: a symbolic link is followed, so the file it
// names is replaced and the link stays a link, and the new version gets the
// old file's permission bits. Only a plain file (or a missing one) is ever
// replaced; a directory, a FIFO or a device is refused, and nothing here
// waits on a FIFO. When the directory cannot take a new file (a locked
// installation folder) but the file itself is writable, the file is written
// in place and flushed to disk: not atomic, but the operator's change is
// kept rather than silently lost.
#include <cstdio>
#include <functional>
#include <string>

// Fills a new version; returns false to give up.
using FileWriter = std::function<bool(std::FILE*)>;

// One file on its way to being replaced, in three steps: open (where the new
// version goes), write (its content), commit (it takes the old one's place).
// Two of them let a pair of files be replaced together: both are written
// before either is committed. Destroyed uncommitted, the temporary file goes
// and the old file stays as it was.
class FileReplacement {
public:
    FileReplacement() = default;
    ~FileReplacement();
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    // False when path is neither a plain file nor missing, or when neither a
    // temporary file beside it nor the file itself can be written.
    bool open(const std::string& path);
    // True when the new version will be written over the file itself at
    // commit, because no temporary file could be made.
    bool inPlace() const { return inPlace_; }
    // Runs writer once. With a temporary file the content goes there now
    // (synced: on the disk before this returns); in place it is kept in
    // memory and the old file stays untouched until commit.
    bool write(const FileWriter& writer, bool synced);
    // Puts the new version in place. In place, the file is rewritten and
    // always flushed to disk.
    bool commit();
    // Gives up: the temporary file goes, the old file stays.
    void discard();

private:
    std::string target_;     // the file replaced: a symbolic link's target
    std::string tempPath_;   // empty in place
    int fd_ = -1;            // the temporary file until written, or the file itself in place
    bool inPlace_ = false;
    bool written_ = false;
    bool synced_ = false;
    std::string content_;    // in place: what commit writes
};

// open, write (synced) and commit in one. True when the new version is in
// place; on false the old file (or its absence) is unchanged, except when
// a write in place failed part way.
bool replaceFile(const std::string& path, const FileWriter& write);

// For tests: while set, a temporary file in a directory for which fault
// returns true cannot be created, as in a directory without write access
// (which does not stop root).
void setTemporaryFileFault(std::function<bool(const std::string& directory)> fault);
