#pragma once
// File chooser filters as the program writes them, "Parameter files
// (*.NFO)|*.NFO|", turned into the "Description (*.NFO *.nfo)" lines a
// Qt file dialog takes. The file system here tells upper from lower case,
// so each pattern also matches its lower-case spelling.
#include <string>
#include <vector>

std::vector<std::string> chooserFilters(const std::string& filter);
