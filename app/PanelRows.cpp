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

std::string formatPassword(int32_t password) {
    if (password == 0) return MessageTable.Lookup(NOT_AVAILABLE_TEXT);
    return decimal(static_cast<uint32_t>(password));
}

std::string formatStatus(uint32_t status) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%04x", static_cast<unsigned>(status));
    std::string text = ErrorTable.Lookup(status);
    if (text.empty()) text = MessageTable.Lookup(NO_STATUS_TEXT);
    return std::string(buffer) + "  \"" + text + "\"";
}

std::string formatRegister44(int32_t value) {
    if (value == -1) return MessageTable.Lookup(NOT_AVAILABLE_TEXT);
    return decimal(static_cast<uint32_t>(value)) + "h";
}

std::string formatRegister40(int32_t value) {
    if (value == -1) return MessageTable.Lookup(NOT_AVAILABLE_TEXT);
    return MessageTable.Lookup(REGISTER40_PREFIX_TEXT) + " " + decimal(static_cast<uint32_t>(value)) +
           " " + MessageTable.Lookup(REGISTER40_SUFFIX_TEXT);
}

std::vector<PanelRow> panelRows(const DeviceLink& link, uint32_t lastStatus) {
    return {
        {MessageTable.Lookup(32768), link.Name()},
        {MessageTable.Lookup(32769), formatAddress(link.Address())},
        {MessageTable.Lookup(32770),
         formatVersion(static_cast<uint32_t>(link.Version()), static_cast<uint32_t>(link.Release()))},
        {MessageTable.Lookup(32771), decimal(static_cast<uint32_t>(link.ParameterVersion()))},
        {MessageTable.Lookup(32773), formatPassword(link.Password())},
        {MessageTable.Lookup(32787), formatStatus(lastStatus)},
        {MessageTable.Lookup(32774), formatRegister44(link.Register44())},
        {MessageTable.Lookup(32775), formatRegister40(link.Register40())},
    };
}
