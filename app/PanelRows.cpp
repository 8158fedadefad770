#include "app/PanelRows.h"

#include <cstdio>
#include <ctime>

#include "link/DeviceLink.h"
#include "texts/TextFill.h"
#include "texts/TextTable.h"

namespace {

// Message texts of the panel.
constexpr uint32_t NOT_AVAILABLE_TEXT = 33;
constexpr uint32_t REGISTER40_PREFIX_TEXT = 34;
constexpr uint32_t REGISTER40_SUFFIX_TEXT = 35;
constexpr uint32_t NO_STATUS_TEXT = 1058;
constexpr uint32_t NO_ANSWER_TEXT = 32789;
constexpr uint32_t SPOKEN_STATUS_TEXT = 33477;

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

std::string formatStatusSpoken(const LanguageTexts& texts, uint32_t status) {
    char code[16];
    std::snprintf(code, sizeof code, "%04x", static_cast<unsigned>(status));
    std::string words = texts.errors.Lookup(status);
    if (words.empty()) words = texts.messages.Lookup(NO_STATUS_TEXT);
    return fillText(texts.messages.Lookup(SPOKEN_STATUS_TEXT), {words, code});
}

std::string formatNoAnswer(const LanguageTexts& texts, const std::string& since) {
    std::string text = texts.messages.Lookup(NO_ANSWER_TEXT);
    const size_t at = text.find("%s");
    if (at != std::string::npos) text.replace(at, 2, since);
    return text;
}

bool StatusPollRecord::answered(uint32_t value, uint32_t& lastStatus) {
    const bool wasSilent = noAnswerSince().has_value();
    failures_ = 0;
    firstFailure_.clear();
    if (value == lastStatus && !wasSilent) return false;
    lastStatus = value;
    return true;
}

bool StatusPollRecord::failed(const std::string& now) {
    if (failures_ == 0) firstFailure_ = now;
    if (failures_ >= SILENT_POLL_LIMIT) return false;   // already shown
    return ++failures_ == SILENT_POLL_LIMIT;
}

void StatusPollRecord::clear() {
    failures_ = 0;
    firstFailure_.clear();
}

std::optional<std::string> StatusPollRecord::noAnswerSince() const {
    if (failures_ < SILENT_POLL_LIMIT) return std::nullopt;
    return firstFailure_;
}

std::string localTimeOfDay() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
    return buffer;
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

std::vector<PanelRow> panelRows(const LanguageTexts& texts, const DeviceLink& link, uint32_t lastStatus,
                                const std::optional<std::string>& noAnswerSince) {
    return {
        {texts.messages.Lookup(32768), link.Name()},
        {texts.messages.Lookup(32769), formatAddress(link.Address())},
        {texts.messages.Lookup(32770),
         formatVersion(static_cast<uint32_t>(link.Version()), static_cast<uint32_t>(link.Release()))},
        {texts.messages.Lookup(32771), decimal(static_cast<uint32_t>(link.ParameterVersion()))},
        {texts.messages.Lookup(32773), formatPassword(texts, link.Password())},
        {texts.messages.Lookup(32787),
         noAnswerSince ? formatNoAnswer(texts, *noAnswerSince) : formatStatus(texts, lastStatus),
         noAnswerSince ? std::string() : formatStatusSpoken(texts, lastStatus)},
        {texts.messages.Lookup(32774), formatRegister44(texts, link.Register44())},
        {texts.messages.Lookup(32775), formatRegister40(texts, link.Register40())},
    };
}
