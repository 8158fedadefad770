#pragma once
// The file system as the batch jobs need it: the files a pattern matches,
// and the current directory a job changes and must give back.

#include <string>
#include <vector>

// The regular files matching the pattern, resolved against the current
// directory and sorted by name. Only "*" and "?" are wildcards, as the job's
// path is written; "[" and "\" match themselves.
std::vector<std::string> matchingFiles(const std::string& pattern);

// Remembers the current directory and changes back to it when destroyed.
class WorkingDirectory {
public:
    WorkingDirectory();
    ~WorkingDirectory();
    WorkingDirectory(const WorkingDirectory&) = delete;
    WorkingDirectory& operator=(const WorkingDirectory&) = delete;

    // Changes into dir (an empty dir stays where it is); false when it does
    // not exist or cannot be entered.
    bool enter(const std::string& dir);
    // Changes back to the remembered directory.
    void restore();

private:
    int handle_ = -1;
    std::string path_;
};
