#include "files/ParameterPairs.h"

#include <map>

#include "files/ParameterKeys.h"
#include "files/ScanfLike.h"

std::optional<std::string_view> afterKey(std::string_view text, const char* key) {
    size_t at = text.find(key);
    if (at == std::string_view::npos) return std::nullopt;
    return text.substr(at + KEY_SIZE);
}

PairsEnd forEachParameterPair(std::string_view remaining,
                              const std::function<bool(uint32_t number, std::string_view value)>& visit) {
    while (!remaining.empty()) {
        auto afterCode = afterKey(remaining, KEY_CODE);
        if (!afterCode) break;
        remaining = *afterCode;
        auto code = scanHex(remaining);
        if (!code) return PairsEnd::BadNumber;
        auto afterData = afterKey(remaining, KEY_DATA);
        if (!afterData) return PairsEnd::MissingData;
        remaining = *afterData;
        if (!visit(code->value, remaining)) break;
    }
    return PairsEnd::Complete;
}

std::optional<uint32_t> parameterValueOf(std::string_view text, bool onOff) {
    if (!onOff) {
        auto value = scanDecimal(text);
        if (!value) return std::nullopt;
        return value->value;
    }
    auto word = scanWord(text, 3);
    if (!word) return std::nullopt;
    return word->word.compare(0, 2, "ON") == 0 ? 1u : 0u;
}

std::vector<std::pair<uint32_t, std::string_view>> listedValues(std::string_view text) {
    std::vector<std::pair<uint32_t, std::string_view>> values;
    std::map<uint32_t, size_t> index;
    forEachParameterPair(text, [&](uint32_t number, std::string_view value) {
        auto [at, added] = index.emplace(registerOfCode(number), values.size());
        if (added)
            values.emplace_back(registerOfCode(number), value);
        else
            values[at->second].second = value;
        return true;
    });
    return values;
}
