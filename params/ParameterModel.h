#pragma once
// Parameter numbers, readings, stepping, parsing and the search for the next
// available parameter on the selected device.

#include <cstdint>
#include <optional>
#include <string>

class DeviceLink;
struct LanguageTexts;

using ParameterNumber = uint32_t;
inline constexpr ParameterNumber FIRST_PARAMETER = 0x0100;
inline constexpr ParameterNumber PARAMETER_CEILING = 0x7F7E;

enum class ReadOutcome : uint8_t { Failed = 0, Present = 1, EndOfTable = 2, NotAvailable = 3 };

struct ParameterReading {
    ReadOutcome outcome = ReadOutcome::Failed;
    uint32_t value = 0;
    bool onOff = false;
    uint8_t digits = 0;
};

enum class SeekResult : uint8_t { Failed = 0, Found = 1, EndOfTable = 2, NoneAtFirst = 5 };

// All take the device link explicitly so tests can use their own.
ParameterNumber& nextParameterNumber(DeviceLink& link, ParameterNumber& number);
ParameterNumber& previousParameterNumber(DeviceLink& link, ParameterNumber& number);
ParameterReading readParameter(DeviceLink& link, ParameterNumber number);
SeekResult seekParameter(DeviceLink& link, ParameterNumber& number, bool backward,
                         ParameterReading* reading = nullptr);
// The typed number field: the accepted parameter number, or nothing. The text
// is read like "%x" (see params/NumberText.h: more than 32 bits of digits
// saturate and are then rejected, never wrapped into range), masked with
// 0x7F7F7F7E, bounded by 0x0100 and the end key, and read from the device:
// only a Present reading is accepted.
std::optional<ParameterNumber> parseParameterNumber(DeviceLink& link, const std::string& text);
uint32_t maxParameterValue(unsigned digits);
// The parameter description of the number, or text 1058 when empty.
std::string parameterDescription(const LanguageTexts& texts, ParameterNumber number);
std::string formatParameterNumber(ParameterNumber number);   // "%04x"
std::string formatParameterValue(uint32_t value);             // "%u"
// Text 32 (on) or text 33 (off).
std::string onOffText(const LanguageTexts& texts, bool on);

// Entered value text -> value: empty counts as "0", text that does not parse
// gives 0, values above maxParameterValue(digits) are clamped (clamped = true).
// A negative number gives 0 (clamped = true) instead of wrapping round.
uint32_t parseParameterValue(const std::string& text, unsigned digits, bool* clamped = nullptr);
