#pragma once
// What the bytes of a language file say. Files made on newer systems are
// UTF-8; older ones were written in Windows-1252 (whose bytes 0x80-0x9F
// hold typographic quotes, the euro sign, dashes and the like), so a text
// that is not valid UTF-8 is read as Windows-1252.
#include <string>

// The character byte b stands for in Windows-1252. The five bytes the code
// page leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) keep their own value,
// as in Latin-1, so nothing read is lost.
char16_t windows1252Char(unsigned char b);

bool isValidUtf8(const std::string& bytes);

// The text in UTF-8: as it is when valid UTF-8, else from Windows-1252.
std::string languageTextAsUtf8(const std::string& bytes);
