#pragma once
// What a value typed for a parameter becomes. The parameter table's cells and
// the parameter dialog's value field follow this one rule, so a text is taken,
// refused or clamped alike wherever it is typed, with the same reason.
#include <cstdint>
#include <string>

struct LanguageTexts;

// Taken as typed, refused (the value stays; the reason says why), or brought
// into the range of the parameter (the reason says to what).
enum class EditOutcome : uint8_t { Accepted, Refused, Clamped };

struct TypedValue {
    EditOutcome outcome = EditOutcome::Accepted;
    uint32_t value = 0;    // what would be written: as typed, clamped, or (refused) the value kept
    std::string reason;    // empty when accepted
};

// "%u" for a numeric value, the on/off word (text 32 or 33) otherwise.
std::string parameterValueText(const LanguageTexts& texts, uint32_t value, bool onOff);

// The rule. Numeric: decimal digits after an optional sign, blanks around
// them ignored; a text that is no number (a typo, "12abc", an empty text) is
// refused; above the largest value the digits hold or below 0 it is clamped.
// On/off: the on or off word of either language in any case, or 1 or 0;
// anything else is refused. kept is the value that stays when refused.
TypedValue readTypedValue(const LanguageTexts& texts, const std::string& text, bool onOff, unsigned digits,
                          uint32_t kept);

// Text as the rule compares it: without the blanks around it, and in lower case.
std::string trimmedText(const std::string& text);
std::string lowerText(std::string text);
