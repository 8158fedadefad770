#pragma once
// The table printed after a job on several buses: one row a bus, columns
// aligned by characters (the texts are UTF-8), two blanks between columns,
// a rule under the heading.
#include <string>
#include <vector>

std::string alignedTable(const std::vector<std::vector<std::string>>& rowsWithHeading);
