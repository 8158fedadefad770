#include "files/MovingValues.h"

#include "texts/TextFill.h"
#include "texts/TextTable.h"

namespace {
constexpr uint32_t MOVED_WHILE_READ_TEXT = 0x8265;

std::string seenText(const MovingValue& m, const char* separator) {
    std::string out;
    for (uint32_t v : m.seen) out += (out.empty() ? "" : separator) + formatParameterValue(v);
    return out;
}
}  // namespace

std::string movingValuesReport(const LanguageTexts& texts, const std::vector<MovingValue>& moving) {
    if (moving.empty()) return {};
    std::string out = fillText(texts.messages.Lookup(MOVED_WHILE_READ_TEXT), {std::to_string(moving.size())});
    // Each line ends in a semicolon, the last in a full stop: joined into one
    // line on standard error they still read apart.
    for (size_t i = 0; i < moving.size(); ++i)
        out += "\n" + formatParameterNumber(moving[i].number) + "  " + parameterDescription(texts, moving[i].number) +
               ": " + seenText(moving[i], ", ") + (i + 1 < moving.size() ? ";" : ".");
    return out;
}

std::string movingValuesDetail(const std::vector<MovingValue>& moving) {
    std::string out;
    for (const MovingValue& m : moving)
        out += (out.empty() ? "moving: " : "; ") + formatParameterNumber(m.number) + " " + seenText(m, ">");
    return out;
}

std::vector<ParameterNumber> movingNumbers(const std::vector<MovingValue>& moving) {
    std::vector<ParameterNumber> numbers;
    for (const MovingValue& m : moving) numbers.push_back(m.number);
    return numbers;
}
