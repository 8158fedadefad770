#include "params/TypedValue.h"

#include <cctype>

#include "params/ParameterModel.h"
#include "texts/TextFill.h"
#include "texts/TextTable.h"

namespace {
constexpr uint32_t NOT_A_NUMBER_TEXT = 33168;   // "\"%s\" is not a number: the value stays %s"
constexpr uint32_t ABOVE_RANGE_TEXT = 33169;    // "... set to %s, the largest value of %s digits"
constexpr uint32_t BELOW_RANGE_TEXT = 33170;    // "... set to 0, the smallest value"
constexpr uint32_t NOT_ON_OFF_TEXT = 33182;     // "\"%s\" is neither %s nor %s: the value stays %s"

}  // namespace

std::string lowerText(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string trimmedText(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    const size_t last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

std::string parameterValueText(const LanguageTexts& texts, uint32_t value, bool onOff) {
    return onOff ? onOffText(texts, value != 0) : formatParameterValue(value);
}

TypedValue readTypedValue(const LanguageTexts& texts, const std::string& text, bool onOff, unsigned digits,
                          uint32_t kept) {
    TypedValue result;
    result.value = kept;
    const std::string typed = trimmedText(text);
    const auto message = [&texts](uint32_t n) { return texts.messages.Lookup(n); };
    if (!onOff) {
        // Only digits (after an optional sign) count as a number: "12abc"
        // is as much a typo as "abc", never 12.
        const size_t start = !typed.empty() && (typed[0] == '-' || typed[0] == '+') ? 1 : 0;
        const bool number = typed.size() > start && typed.find_first_not_of("0123456789", start) == std::string::npos;
        if (!number) {
            result.outcome = EditOutcome::Refused;
            result.reason = fillText(message(NOT_A_NUMBER_TEXT), {typed, parameterValueText(texts, kept, false)});
            return result;
        }
        bool clamped = false;
        result.value = parseParameterValue(typed, digits, &clamped);
        if (clamped) {
            result.outcome = EditOutcome::Clamped;
            result.reason = typed[0] == '-' ? fillText(message(BELOW_RANGE_TEXT), {typed})
                                            : fillText(message(ABOVE_RANGE_TEXT),
                                                       {typed, formatParameterValue(result.value), std::to_string(digits)});
        }
        return result;
    }
    const std::string word = lowerText(typed);
    const std::string on = onOffText(texts, true), off = onOffText(texts, false);
    // The device's own words work whatever language the texts are in.
    if (word == "1" || word == lowerText(on) || word == "on") {
        result.value = 1;
    } else if (word == "0" || word == lowerText(off) || word == "off") {
        result.value = 0;
    } else {
        result.outcome = EditOutcome::Refused;
        result.reason = fillText(message(NOT_ON_OFF_TEXT), {typed, on, off, parameterValueText(texts, kept, true)});
    }
    return result;
}
