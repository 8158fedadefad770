// The check a parameter text passes before loading writes anything to a
// device: what the load reads from the text must be there and readable, so a
// damaged or hand-edited file cannot stop half way through the device.
#include <string_view>

#include "files/ParameterFiles.h"
#include "files/ParameterKeys.h"
#include "files/ScanfLike.h"
#include "params/ParameterModel.h"

namespace {

constexpr uint32_t HIGHEST_BUS_ADDRESS = 63;

// Register keys from page 1 up whose bytes both stay below 0x80. Anything
// else would reach a system register (the restart or the bus address) or put
// a byte of 0x80 or more on the bus, which devices take for a selection. An
// odd number is fine: the key bytes carry the direction in bit 0, so it
// reads and writes the even parameter below it.
bool isParameterNumber(uint32_t n) {
    return n >= FIRST_PARAMETER && n <= (PARAMETER_CEILING | 1) && (n & 0xFF) < 0x80;
}

using Reader = std::optional<ScannedNumber> (*)(std::string_view);

// A key that is absent passes; one that is present must carry a number.
bool optionalNumber(std::string_view text, const char* key, Reader read, uint32_t maximum = 0xFFFFFFFFu) {
    size_t at = text.find(key);
    if (at == std::string_view::npos) return true;
    auto number = read(text.substr(at + KEY_SIZE));
    return number && number->value <= maximum;
}

bool everyCodeReadable(std::string_view text) {
    for (size_t at = text.find(KEY_CODE); at != std::string_view::npos; at = text.find(KEY_CODE, at + KEY_SIZE)) {
        auto number = scanHex(text.substr(at + KEY_SIZE));
        if (!number || !isParameterNumber(number->value)) return false;
    }
    return true;
}

// A value is a decimal number or a word: what "%3s" reads. An empty value
// reads the next word (the start of the next key), which an on/off
// parameter takes as OFF; whether a word fits its parameter only the
// device can tell, and the load asks it before writing anything.
bool everyDataReadable(std::string_view text) {
    for (size_t at = text.find(KEY_DATA); at != std::string_view::npos; at = text.find(KEY_DATA, at + KEY_SIZE)) {
        std::string_view value = text.substr(at + KEY_SIZE);
        if (scanDecimal(value)) continue;
        if (!scanWord(value, 3)) return false;
    }
    return true;
}

}  // namespace

bool parameterTextWellFormed(const std::string& text) {
    std::string_view view(text);
    return view.find(KEY_NAME) != std::string_view::npos && optionalNumber(view, KEY_PVER, scanDecimal) &&
           optionalNumber(view, KEY_ADDR, scanHex, HIGHEST_BUS_ADDRESS) && optionalNumber(view, KEY_PSWD, scanOctal) &&
           everyCodeReadable(view) && everyDataReadable(view);
}
