#pragma once
// Comparing two parameter sets: two parameter files, or the connected device
// with a file. The result lists the parameters whose values differ and those
// only one side has, in number order; the comparison window shows it and
// exports it as CSV.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "params/ParameterModel.h"

class AppContext;
struct LanguageTexts;

struct ComparedValue {
    uint32_t value = 0;
    bool onOff = false;
    // A file's value the load would refuse for this parameter (a word for a
    // numeric one): shown as it stands, never equal to a readable value.
    std::string unreadable;
    bool operator==(const ComparedValue&) const = default;
};

using ParameterSet = std::map<ParameterNumber, ComparedValue>;

struct ComparedRow {
    ParameterNumber number = 0;
    std::optional<ComparedValue> left;    // nothing: the left side lacks it
    std::optional<ComparedValue> right;
    // The device's value changed between two reads (a counter, a
    // measurement): its difference from the file is the device at work,
    // not a setting that differs.
    bool moving = false;
};

// Who a side is: name, bus address, parameter version and password as the
// file's header or the device gives them; nothing where a file lacks the key.
struct SideIdentity {
    std::optional<std::string> name;
    std::optional<uint32_t> address;
    std::optional<uint32_t> parameterVersion;
    std::optional<uint32_t> password;
    // The name as the load matches it: a file's up to its line's end with
    // the blanks after it, the device's as it gives it.
    std::string matchedName;
};

// A row of its own above the parameters: the label's text number, the two
// sides' cells and whether they disagree. The password's cells say only
// whether one is set, never its digits.
struct IdentityRow {
    uint32_t label = 0;
    std::string left, right;
    bool differs = false;
};

struct Comparison {
    std::string leftName;     // a file's name, or text 33113 for the device
    std::string rightName;
    std::string leftPath;     // a file's full path; empty for the device
    std::string rightPath;
    std::vector<IdentityRow> identity;
    // The sides come from different devices (the load would refuse the file).
    bool otherDevice = false;
    std::vector<ComparedRow> rows;
    // The device stopped answering before its table ended: the rows cover
    // the numbers below stoppedAt only.
    bool partial = false;
    ParameterNumber stoppedAt = 0;
};

// The "#CODE: "/"#DATA: " pairs of a parameter text as the load takes them,
// each under the register the load writes, the last pair of a register
// winning. Without a device to tell a parameter's kind, a decimal number is a
// value and any other word an on/off state (on when it begins with "ON", as
// the load writes it). False when the load would refuse the text.
bool parameterSetOfText(const std::string& text, ParameterSet& set);

// The identity a parameter text's header gives.
SideIdentity identityOfText(const std::string& text);
// The rows comparing two identities and whether they name different
// devices: the file's name must begin with the device's (deviceOnLeft), two
// files' names must be the same.
std::vector<IdentityRow> identityRows(const LanguageTexts& texts, const SideIdentity& left, const SideIdentity& right,
                                      bool deviceOnLeft, bool& otherDevice);

// The rows where the two sets differ: a value or the kind differs, or only
// one side has the number. Numbers at or past limit are left out (a side
// that stopped there cannot tell what it lacks); 0 means no limit.
std::vector<ComparedRow> compareSets(const ParameterSet& left, const ParameterSet& right,
                                     ParameterNumber limit = 0);

// A side's value as the panel shows it: "%u", or the on/off word; empty when
// the side lacks the parameter.
std::string comparedValueText(const LanguageTexts& texts, const std::optional<ComparedValue>& value);
// Number, description, left, right; the header row names the sides.
std::string comparisonCsv(const LanguageTexts& texts, const Comparison& comparison);

// Reads both files (each must pass its seal and checksum: text 32783 names
// a file that does not) and compares them. False after a message.
bool compareFiles(AppContext& ctx, const std::string& leftPath, const std::string& rightPath, Comparison& out);
// The device on the left, the file on the right. The file is read first;
// then extended access is opened and the device's parameters are read in
// one walk, and the device is restarted once at the end, as closing the
// parameter dialog does. A value that differs from the file's is read again
// at once; one that changed between the two reads is marked moving. A
// device that stops answering half way gives a
// partial comparison (true, partial set, text 3 shown). False when the file
// cannot be used, access is refused or the walk was cancelled.
bool compareDeviceWithFile(AppContext& ctx, const std::string& path, Comparison& out);
// The load button: the file into the device after the load command's
// question, then the restart, as the load command does. True when loaded
// and restarted; *confirmed: the operator said Yes (the device may have
// changed, and the comparison with it).
bool loadComparedFile(AppContext& ctx, const std::string& path, bool* confirmed = nullptr);

// The command entry points' choices: a parameter file, the chooser titled
// with text caption (0: the window title).
std::optional<std::string> chooseParameterFile(AppContext& ctx, uint32_t caption = 0);
// The side texts of the two choosers of "Compare two files".
inline constexpr uint32_t CHOOSE_LEFT_FILE_TEXT = 0x81A0;
inline constexpr uint32_t CHOOSE_RIGHT_FILE_TEXT = 0x81A1;
