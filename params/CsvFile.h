#pragma once
// Tables exported for a spreadsheet: comma-separated, one header row, UTF-8.
// Operator texts come from the language files as UTF-8 or Windows-1252 bytes
// and are turned into UTF-8 on the way out.
#include <cstdint>
#include <string>
#include <vector>

#include "texts/CsvField.h"

class AppContext;
struct LanguageTexts;

// Bytes as UTF-8: kept when they are valid UTF-8, otherwise read as Windows-1252.
std::string utf8Text(const std::string& bytes);
// The fields of one row, each as csvField (texts/CsvField.h: a text a
// spreadsheet would take for a formula made inert by a leading apostrophe,
// quoted when it holds a comma, a quote or a line break), joined with commas,
// ended with CR LF.
std::string csvRow(const std::vector<std::string>& fields);
// A number as a spreadsheet reads it whatever the locale: digits, a dot
// before any fraction, no grouping.
std::string csvNumber(uint64_t value);
std::string csvNumber(double value);
// A time (seconds since 1970, UTC) as ISO 8601 in local time with its UTC
// offset, "2026-12-10T16:40:17+01:00": the hour that repeats when the clocks
// go back to winter time is told apart by its offset.
std::string csvTime(int64_t seconds);
// The path with ".csv" added unless it already ends so (in any case).
std::string withCsvExtension(const std::string& path);
// The chooser filter for CSV files: text 33117 + " (*.csv)|*.csv|".
std::string csvFileFilter(const LanguageTexts& texts);
// Writes the text to path; text 4 naming the file when it cannot.
bool writeCsvFile(AppContext& ctx, const std::string& path, const std::string& text);
// The save chooser for a CSV file (a name chosen without ".csv" gets it),
// then the file; the notice "Saved ..."
// after it was written. False when cancelled or not written.
bool exportCsv(AppContext& ctx, const std::string& text);
