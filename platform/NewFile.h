#pragma once
// Making a file that must not exist yet: created empty and exclusively, so
// no other thread or program can make it as well, or the reason it could
// not be, told apart where the operator can do something about it.
#include <string>

enum class NewFileOutcome {
    Created,
    Exists,         // the name is taken: another name may do
    NoPermission,   // the folder cannot be written by this user
    ReadOnly,       // the file system is mounted read-only
    NoSpace,        // the disk is full or the user's quota is used up
    NoFolder,       // the folder is missing, or a part of its path is no folder
    Other,
};

struct NewFile {
    NewFileOutcome outcome = NewFileOutcome::Other;
    std::string systemText;   // the system's own words, for Other
};

NewFile createNewFile(const std::string& path);
