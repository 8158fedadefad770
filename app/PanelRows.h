#pragma once
// The rows of the device panel: a bold label and a value per row, formatted
// from the device image of the link and the last status value polled.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class DeviceLink;
struct LanguageTexts;

struct PanelRow {
    std::string label;
    std::string value;
    // The value as a screen reader says it, where the shown one is not
    // words first ("No fault, code 0000" for the status); empty: the value.
    std::string spoken = {};
};

inline constexpr int PANEL_ROW_COUNT = 8;
// The row of the polled status.
inline constexpr size_t PANEL_ADDRESS_ROW = 1;
inline constexpr size_t PANEL_STATUS_ROW = 5;

// The eight rows, labels from the messages table. With noAnswerSince the
// status row says that the device has not answered since that time instead
// of showing lastStatus.
std::vector<PanelRow> panelRows(const LanguageTexts& texts, const DeviceLink& link, uint32_t lastStatus,
                                const std::optional<std::string>& noAnswerSince = std::nullopt);

// What the status poll has seen. A device that misses one poll may just have
// been busy; after SILENT_POLL_LIMIT failed polls in a row the panel stops
// showing the last status and says since when the device has not answered
// (the time of the first failed poll of the run). The first good poll ends
// the run.
class StatusPollRecord {
public:
    static constexpr int SILENT_POLL_LIMIT = 3;

    // A poll read value into lastStatus; true when the status row changed.
    bool answered(uint32_t value, uint32_t& lastStatus);
    // A poll failed at local time now ("hh:mm:ss"); true when the status row changed.
    bool failed(const std::string& now);
    // Forgets a run of failures (a device selected afresh).
    void clear();
    // The time of the first failed poll once the run is long enough.
    std::optional<std::string> noAnswerSince() const;

private:
    int failures_ = 0;
    std::string firstFailure_;
};

// The local time of day as "hh:mm:ss".
std::string localTimeOfDay();

// Single values, exposed for the rows above and for their tests.
std::string formatAddress(uint8_t address);                       // "%02x"
std::string formatVersion(uint32_t version, uint32_t release);    // "%02u.%02u"
std::string formatPassword(const LanguageTexts& texts, int32_t password);                     // text 33 for 0
std::string formatStatus(const LanguageTexts& texts, uint32_t status);                        // "%04x" + two blanks + quoted text
std::string formatStatusSpoken(const LanguageTexts& texts, uint32_t status);                  // text 33477: the words, then the code
std::string formatNoAnswer(const LanguageTexts& texts, const std::string& since);             // text 32789, "%s" the time
std::string formatRegister44(const LanguageTexts& texts, int32_t value);                      // "%uh", text 33 for -1
std::string formatRegister40(const LanguageTexts& texts, int32_t value);                      // text 34 n text 35, text 33 for -1
