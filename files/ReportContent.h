#pragma once
// The bytes of a report file, for writers that put the report in place
// together with its parameter file.
#include <string>

#include "files/MemoryStream.h"

struct LanguageTexts;

// False, with no message, when the stream cannot be read back in full or a
// header value is missing.
bool reportFileContent(const LanguageTexts& texts, MemoryStream& stream, bool allParameters, std::string& content);
