#pragma once
// Where "--save PATTERN" puts the parameter file of each bus's device. The
// pattern is a prefix: PATTERN_NAME_AA_yyyy-mm-dd.NFO (the name the save
// command proposes, after the prefix and a "_"); a pattern that ends in "/"
// or names a folder gets NAME_AA_yyyy-mm-dd.NFO in that folder. Two buses
// whose devices share name and address must not write one file, nor may a
// file saved before be replaced, by this program or another saving into the
// same folder: a name taken gets "-2", "-3"... before its extension, as the
// load's backups do.
#include <cstdint>
#include <string>

struct LocalDate;

class SaveTargets {
public:
    explicit SaveTargets(const std::string& pattern);

    // The folder the files go in ("." for a bare prefix).
    const std::string& folder() const { return folder_; }
    // A parameter file path of its own for the device (".NFO"), claimed by
    // creating it empty; safe from every bus's thread. Empty when a hundred
    // numbers are taken.
    std::string claim(const std::string& deviceName, uint8_t address, const LocalDate& day);

private:
    std::string folder_;
    std::string prefix_;
};
