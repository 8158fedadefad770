#pragma once
// Parameter text, sealed parameter files, reports, loading and saving.
#include <cstdint>
#include <string>
#include <vector>

#include "files/MemoryStream.h"

// Reads the selected device's parameter set into a parameter text (two passes).
bool writeParameterText(MemoryStream& stream);

// The report beside a parameter file ("DOC"), all or only free parameters.
bool writeReport(const std::string& path, MemoryStream& stream, bool allParameters);
int wrapText(const std::string& text, std::vector<std::string>& lines, int width, int maxLines);

// The sealed block.
void sealBytes(uint32_t seed, uint8_t* bytes, size_t count);
uint16_t textChecksum(MemoryStream& stream);
// Position of needle in data[0, length), or -1.
long findBytes(const uint8_t* data, size_t length, const std::string& needle);
bool writeSealedFile(const std::string& path, MemoryStream& stream);
bool readSealedFile(const std::string& path, MemoryStream& stream);

// Loading into the selected device.
bool loadParameterFile(const std::string& path);
bool applyParameterText(MemoryStream& stream);

// Commands of the main window that need no window of their own.
void saveParameterFile();        // 40011
void loadParameterFileCommand(); // 40012
