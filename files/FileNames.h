#pragma once
// Forms every path beside a parameter file: one helper for save, sealed read
// and write, report, viewer, editor and batch jobs.
#include <cstdint>
#include <string>

#include "platform/NewFile.h"

struct LanguageTexts;
struct LocalDate;

inline constexpr const char* PARAMETER_EXTENSION = "NFO";
inline constexpr const char* REPORT_EXTENSION = "DOC";

// The path without the extension of its file name: the last "." after the
// last "/" and what follows it. Dots in directory names stay.
std::string basePath(const std::string& path);
// path itself when its extension is extension in any case ("x.nfo" for
// "NFO"); otherwise basePath(path) + "." + extension, in lower case when the
// path's extension is a lower-case "nfo" or "doc" ("x.nfo" -> "x.doc"), so
// a file and its partner share the case of their extensions.
std::string withExtension(const std::string& path, const std::string& extension);
// The chooser filter: text 32782 + " (*.EXT)|*.EXT|".
std::string fileFilter(const LanguageTexts& texts, const std::string& extension);

// A device name as part of a file name: blanks at either end dropped, every
// character but letters, digits, "-" and "_" made "_"; "device" when
// nothing is left.
std::string fileNamePart(const std::string& deviceName);
// A port as part of a file name: a device path without its "/dev/"
// ("ttyUSB0", "serial-by-id-usb-FTDI_..."), any other path's file name, a
// network port's host and port ("plc7-4001", "10.0.0.7-4001", "fe80__1-4001");
// every character but letters, digits, ".", "-" and "_" made "_".
std::string portFileNamePart(const std::string& port);
// The name a save proposes for the device's parameters:
// "<name>_<address>_<yyyy-mm-dd>.<extension>" ("PUMP_01_2026-12-10.NFO"),
// the address in two hex digits.
std::string proposedFileName(const std::string& deviceName, uint8_t address, const LocalDate& day,
                             const std::string& extension);
// The same without "." and the extension.
std::string proposedStem(const std::string& deviceName, uint8_t address, const LocalDate& day);
// The file name of path without its folder, with extension in place of its own.
std::string fileNameWithExtension(const std::string& path, const std::string& extension);
// What claiming a name came to.
struct NameClaim {
    std::string stem;   // the name claimed, without extension; empty when none was
    // Why none was: Exists when every name tried was taken, else the first
    // failure that was not a taken name (a folder the user cannot write, a
    // full disk...): no other name in the same folder would fare better.
    NewFileOutcome failure = NewFileOutcome::Created;
    std::string systemText;
    std::string base;   // the name asked for, and how many were tried
    int tries = 0;
    // The claimed pair, the extension put after the stem as it is: a dot
    // in a prefix or a folder name is no extension.
    std::string parameterFile() const { return stem + "." + PARAMETER_EXTENSION; }
    std::string reportFile() const { return stem + "." + REPORT_EXTENSION; }
    // Where the name was asked for ("." for a bare name).
    std::string folder() const;
};
// A name no other thread or program can take as well: the first of base,
// base-2 ... base-<tries> whose report does not exist and whose parameter
// file could be created, exclusively (it is left empty, for the writer to
// replace whole).
NameClaim claimFreeStem(const std::string& base, int tries);
// Why a claim failed, as the operator reads it: "No file could be created
// in <folder>: <cause>."
std::string claimFailureText(const LanguageTexts& texts, const NameClaim& claim);
// The same without the sentence around it ("<folder>: <cause>"), for a
// message that has its own.
std::string claimFailureCause(const LanguageTexts& texts, const NameClaim& claim);
// Removes a claimed parameter file nothing replaced (it is still empty): an
// empty file is no save and no backup.
void dropEmptyClaim(const std::string& parameterFile);
