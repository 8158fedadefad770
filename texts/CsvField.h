#pragma once
// One field of a comma-separated file, as every CSV the program writes has it
// (params/CsvFile.h for the tables, the bus monitor's log).
#include <string>

// A field that a spreadsheet would read as a formula (one beginning with
// = + - @, a tab or a carriage return: a device name like "=cmd|' /C calc'!A0",
// a timed-out read's "--") gets a leading apostrophe, as spreadsheet guidance
// advises: the cell is text, and the text stays readable. A field holding a
// comma, a quote or a line break is then quoted, its quotes doubled.
std::string csvField(const std::string& text);
// Whether a spreadsheet would read the field's text as a formula.
bool csvFieldLooksLikeFormula(const std::string& text);
