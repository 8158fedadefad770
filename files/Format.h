#pragma once
// printf-style formatting into a std::string of any length.
#include <string>

std::string formatText(const char* format, ...) __attribute__((format(printf, 1, 2)));
