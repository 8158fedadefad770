#include "app/PanelRows.h"

#include <cstdio>

#include "link/DeviceLink.h"
#include "texts/TextTable.h"

namespace {

// Message texts of the panel.
constexpr uint32_t NOT_AVAILABLE_TEXT = 33;
constexpr uint32_t REGISTER40_PREFIX_TEXT = 34;
constexpr uint32_t REGISTER40_SUFFIX_TEXT = 35;
constexpr uint32_t NO_STATUS_TEXT = 1058;

std::string decimal(uint32_t value) { return std::to_string(value); }

}  // namespace

std::string formatAddress(uint8_t address) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "%02x", static_cast<unsigned>(address));
    return buffer;
}

std::string formatVersion(uint32_t version, uint32_t release) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%02u.%02u", static_cast<unsigned>(version),
                  static_cast<unsigned>(release));
    return buffer;
}

std::string formatPassword(const LanguageTexts& texts, int32_t password) {
    if (password == 0) return texts.messages.Lookup(NOT_AVAILABLE_TEXT);
    return decimal(static_cast<uint32_t>(password));
}

std::string formatStatus(const LanguageTexts& texts, uint32_t status) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%04x", static_cast<unsigned>(status));
    std::string text = texts.errors.Lookup(status);
    if (text.empty()) text = texts.messages.Lookup(NO_STATUS_TEXT);
    return std::string(buffer) + "  \"" + text + "\"";
}

std::string formatRegister44(const LanguageTexts& texts, int32_t value) {
    if (value == -1) return texts.messages.Lookup(NOT_AVAILABLE_TEXT);
    return decimal(static_cast<uint32_t>(value)) + "h";
}

std::string formatRegister40(const LanguageTexts& texts, int32_t value) {
    if (value == -1) return texts.messages.Lookup(NOT_AVAILABLE_TEXT);
    return texts.messages.Lookup(REGISTER40_PREFIX_TEXT) + " " + decimal(static_cast<uint32_t>(value)) +
           " " + texts.messages.Lookup(REGISTER40_SUFFIX_TEXT);
}

std::vector<PanelRow> panelRows(const LanguageTexts& texts, const DeviceLink& link, uint32_t lastStatus) {
    return {
        {texts.messages.Lookup(32768), link.Name()},
        {texts.messages.Lookup(32769), formatAddress(link.Address())},
        {texts.messages.Lookup(32770),
         formatVersion(static_cast<uint32_t>(link.Version()), static_cast<uint32_t>(link.Release()))},
        {texts.messages.Lookup(32771), decimal(static_cast<uint32_t>(link.ParameterVersion()))},
        {texts.messages.Lookup(32773), formatPassword(texts, link.Password())},
        {texts.messages.Lookup(32787), formatStatus(texts, lastStatus)},
        {texts.messages.Lookup(32774), formatRegister44(texts, link.Register44())},
        {texts.messages.Lookup(32775), formatRegister40(texts, link.Register40())},
    };
}
