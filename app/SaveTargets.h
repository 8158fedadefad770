#pragma once
// Where "--save PATTERN" puts the parameter file of each bus's device. The
// pattern is a prefix: PATTERN_NAME_AA_yyyy-mm-dd.NFO (the name the save
// command proposes, after the prefix and a "_"); a pattern that ends in "/"
// or names a folder gets NAME_AA_yyyy-mm-dd.NFO in that folder. A dot in the
// prefix or in a folder's name is part of the name, never an extension. In
// a job on several buses the name ends in its bus's tag
// (PATTERN_NAME_AA_yyyy-mm-dd_ttyUSB0.NFO, ..._plc7-4001.NFO), so a bench's
// file is found without the table; a job on one bus names its file as the
// save command does. Two buses whose devices share name and address must
// not write one file, nor may a file saved before be replaced, by this
// program or another saving into the same folder: a name taken gets "-2",
// "-3"... before its extension, as the load's backups do.
#include <cstdint>
#include <string>

#include "files/FileNames.h"

struct LocalDate;

class SaveTargets {
public:
    explicit SaveTargets(const std::string& pattern);

    // The folder the files go in ("." for a bare prefix).
    const std::string& folder() const { return folder_; }
    // A parameter file of its own for the device (".NFO"), its name ending
    // in "_" and busTag when one is given, claimed by creating it empty;
    // safe from every bus's thread. Its stem is empty when none could be
    // claimed, with the reason.
    NameClaim claim(const std::string& deviceName, uint8_t address, const LocalDate& day,
                    const std::string& busTag) const;

private:
    std::string folder_;
    std::string prefix_;
    std::string fileStem_;  // the pattern named the file itself (its name without .NFO)
};
