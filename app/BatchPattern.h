#pragma once
// The pieces of a batch job that deal with its command line and the file
// system: which job the line asks for, the directory part of its path, the
// files its pattern matches, and the current directory the job must give
// back when it ends.

#include <string>
#include <vector>

enum class BatchKind { None, Convert, Load };

struct BatchRequest {
    BatchKind kind = BatchKind::None;
    std::string path;   // everything after the option, to the end of the line
};

// "/c " is looked for first, "/l " only when there is no "/c ". An option
// counts at the start of the line or after a blank: with "/" as the path
// separator, "/l /mnt/c drive/unit.NFO" must stay a load of that file.
BatchRequest parseBatchCommandLine(const std::string& commandLine);

// The directory part of a path: up to, not including, its last "/"; "/" for
// a file in the root; empty when the path has no "/".
std::string batchDirectory(const std::string& path);

// The regular files matching the pattern, resolved against the current
// directory and sorted by name. Only "*" and "?" are wildcards, as the job's
// path is written; "[" and "\" match themselves.
std::vector<std::string> matchingFiles(const std::string& pattern);

// Remembers the current directory and changes back to it when destroyed,
// also when the directory was left by a path that no longer exists.
class WorkingDirectory {
public:
    WorkingDirectory();
    ~WorkingDirectory();
    WorkingDirectory(const WorkingDirectory&) = delete;
    WorkingDirectory& operator=(const WorkingDirectory&) = delete;

    // Changes into dir; false when it does not exist or cannot be entered.
    bool enter(const std::string& dir);
    // Changes back to the remembered directory.
    void restore();

private:
    int handle_ = -1;
    std::string path_;
};
