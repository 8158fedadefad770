#pragma once
// What a batch job's command line asks for: which job, and the directory
// part of its path.

#include <string>

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
