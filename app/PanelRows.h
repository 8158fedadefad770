#pragma once
// The rows of the device panel: a bold label and a value per row, formatted
// from the device image of the link and the last status value polled.
#include <cstdint>
#include <string>
#include <vector>

class DeviceLink;
struct LanguageTexts;

struct PanelRow {
    std::string label;
    std::string value;
};

inline constexpr int PANEL_ROW_COUNT = 8;

// The eight rows, labels from the messages table.
std::vector<PanelRow> panelRows(const LanguageTexts& texts, const DeviceLink& link, uint32_t lastStatus);

// Single values, exposed for the rows above and for their tests.
std::string formatAddress(uint8_t address);                       // "%02x"
std::string formatVersion(uint32_t version, uint32_t release);    // "%02u.%02u"
std::string formatPassword(const LanguageTexts& texts, int32_t password);                     // text 33 for 0
std::string formatStatus(const LanguageTexts& texts, uint32_t status);                        // "%04x" + two blanks + quoted text
std::string formatRegister44(const LanguageTexts& texts, int32_t value);                      // "%uh", text 33 for -1
std::string formatRegister40(const LanguageTexts& texts, int32_t value);                      // text 34 n text 35, text 33 for -1
