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
    bool operator==(const ComparedValue&) const = default;
};

using ParameterSet = std::map<ParameterNumber, ComparedValue>;

struct ComparedRow {
    ParameterNumber number = 0;
    std::optional<ComparedValue> left;    // nothing: the left side lacks it
    std::optional<ComparedValue> right;
};

struct Comparison {
    std::string leftName;     // a file's path, or text 33113 for the device
    std::string rightName;
    std::vector<ComparedRow> rows;
    // The device stopped answering before its table ended: the rows cover
    // the numbers below stoppedAt only.
    bool partial = false;
    ParameterNumber stoppedAt = 0;
};

// The "#CODE: "/"#DATA: " pairs of a parameter text: a decimal value, or the
// word ON or OFF for an on/off parameter. False at the first pair that cannot
// be read.
bool parameterSetOfText(const std::string& text, ParameterSet& set);

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
// parameter dialog does. A device that stops answering half way gives a
// partial comparison (true, partial set, text 3 shown). False when the file
// cannot be used, access is refused or the walk was cancelled.
bool compareDeviceWithFile(AppContext& ctx, const std::string& path, Comparison& out);
// The load button: the file into the device, then the restart, as the load
// command does. True when loaded and restarted.
bool loadComparedFile(AppContext& ctx, const std::string& path);

// The command entry points' choices: the files to compare (two open
// choosers; nothing when either was cancelled).
std::optional<std::string> chooseParameterFile(AppContext& ctx);
