#include "params/ParameterModel.h"

#include <cstdio>

#include "link/DeviceLink.h"
#include "params/NumberText.h"
#include "texts/TextTable.h"

namespace {
constexpr uint32_t ParameterNumberMask = 0x7F7F7F7E;  // bit 0 and bit 7 of every byte clear
constexpr uint32_t LowByteOverflow = 0x80;
}  // namespace

ParameterNumber& nextParameterNumber(DeviceLink& link, ParameterNumber& number) {
    if (!link.parameterAccess) return number;
    // A number already at or beyond the bound can only come back to it; testing
    // first also keeps 0xFFFFFFFF + 2 from wrapping round to a system register.
    if (number >= link.endKey) {
        number = link.endKey;
        return number;
    }
    number += 2;
    if ((number & 0xFF) >= LowByteOverflow) number = (number & ~0xFFu) + 0x0100;
    if (number > link.endKey) number = link.endKey;
    return number;
}

ParameterNumber& previousParameterNumber(DeviceLink& link, ParameterNumber& number) {
    if (!link.parameterAccess) return number;
    if (number < FIRST_PARAMETER + 2) return number;
    number -= 2;
    if ((number & 0xFF) >= LowByteOverflow) number = (number & ~0xFFu) | 0x7E;
    // Anything past the highest page (not only numbers with bit 15 set, which
    // would let 0x20100 through) falls back to the ceiling.
    if (number >= 0x8000) number = PARAMETER_CEILING;
    return number;
}

ParameterReading readParameter(DeviceLink& link, ParameterNumber number) {
    ParameterReading reading;
    uint32_t out = 0;
    uint8_t outcome = link.ReadRegisterRetry(number, out);
    if (outcome > static_cast<uint8_t>(ReadOutcome::NotAvailable)) return reading;  // Failed
    reading.outcome = static_cast<ReadOutcome>(outcome);
    if (reading.outcome != ReadOutcome::Present) return reading;
    reading.value = out;
    // A Present outcome with the error flag set came from a short answer 0 or
    // 1: an on/off parameter. The link keeps the digit count of the last
    // nibble value it read, which belongs to some other register then.
    reading.onOff = link.errorFlag() != 0;
    reading.digits = reading.onOff ? 0 : static_cast<uint8_t>(link.digitCount());
    return reading;
}

SeekResult seekParameter(DeviceLink& link, ParameterNumber& number, bool backward,
                         ParameterReading* reading) {
    if (!link.connected || !link.parameterAccess) return SeekResult::Failed;
    // Page 0 holds the system registers, never parameters.
    if (number < FIRST_PARAMETER) number = FIRST_PARAMETER;
    for (;;) {
        link.progressCounter = number;
        ParameterReading r = readParameter(link, number);
        switch (r.outcome) {
        case ReadOutcome::Failed:
            return SeekResult::Failed;
        case ReadOutcome::Present:
            if (reading) *reading = r;
            return SeekResult::Found;
        case ReadOutcome::EndOfTable:
            link.endKey = number;
            return SeekResult::EndOfTable;
        case ReadOutcome::NotAvailable:
            break;
        }
        if (number == FIRST_PARAMETER) return SeekResult::NoneAtFirst;
        ParameterNumber before = number;
        if (backward)
            previousParameterNumber(link, number);
        else
            nextParameterNumber(link, number);
        if (number != before) continue;
        // The step could not move: reading the same number again would loop
        // for ever. Forward that means the bound, which now marks the end of
        // what this device offers; backward it means the bottom of the table.
        if (backward) return SeekResult::NoneAtFirst;
        if (number == link.endKey) return SeekResult::EndOfTable;
        return SeekResult::Failed;
    }
}

std::optional<ParameterNumber> parseParameterNumber(DeviceLink& link, const std::string& text) {
    std::optional<uint32_t> typed = scanHexNumber(text);
    if (!typed) return std::nullopt;
    ParameterNumber number = *typed & ParameterNumberMask;
    if (number < FIRST_PARAMETER || number > link.endKey) return std::nullopt;
    if (readParameter(link, number).outcome != ReadOutcome::Present) return std::nullopt;
    return number;
}

uint32_t maxParameterValue(unsigned digits) {
    if (digits >= 8) return 0xFFFFFFFFu;
    return (1u << (4 * digits)) - 1;
}

std::string parameterDescription(const LanguageTexts& texts, ParameterNumber number) {
    std::string text = texts.parameters.Lookup(number);
    if (text.empty()) return texts.messages.Lookup(1058);
    return text;
}

std::string formatParameterNumber(ParameterNumber number) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%04x", number);
    return buffer;
}

std::string formatParameterValue(uint32_t value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%u", value);
    return buffer;
}

std::string onOffText(const LanguageTexts& texts, bool on) { return texts.messages.Lookup(on ? 32 : 33); }

uint32_t parseParameterValue(const std::string& text, unsigned digits, bool* clamped) {
    if (clamped) *clamped = false;
    std::optional<ScannedDecimal> scanned = scanDecimalNumber(text);
    if (!scanned) return 0;  // empty or not a number
    // Below the range: the conversion would wrap "-1" to the largest value;
    // the bottom of the range is what the operator can have meant.
    if (scanned->negative) {
        if (clamped) *clamped = true;
        return 0;
    }
    uint32_t max = maxParameterValue(digits);
    if (scanned->magnitude > max) {
        if (clamped) *clamped = true;
        return max;
    }
    return static_cast<uint32_t>(scanned->magnitude);
}
