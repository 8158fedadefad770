// Loading a parameter file into the selected device: identity settings, a
// pass that sets every parameter to 0, then the file's values.
#include <filesystem>
#include <string_view>

#include "app/AppState.h"
#include "app/DeviceSteps.h"
#include "files/FileNames.h"
#include "files/ParameterFiles.h"
#include "files/ParameterKeys.h"
#include "files/ScanfLike.h"
#include "link/DeviceLink.h"
#include "params/ParameterModel.h"

namespace {

constexpr uint32_t MAX_STEPS = (PARAMETER_CEILING - FIRST_PARAMETER) / 2 + 2;

std::optional<std::string_view> afterKey(std::string_view text, const char* key) {
    size_t at = text.find(key);
    if (at == std::string_view::npos) return std::nullopt;
    return text.substr(at + KEY_SIZE);
}

// The value of a header key: nothing to do when the key is absent, false
// after text 32783 when its value cannot be read.
template <typename Use>
bool withHeaderNumber(std::string_view text, const char* key, std::optional<ScannedNumber> (*read)(std::string_view),
                      Use use) {
    auto value = afterKey(text, key);
    if (!value) return true;
    auto number = read(*value);
    if (!number) {
        showText(32783);
        return false;
    }
    return use(number->value);
}

bool openExtendedAccess(DeviceLink& link) {
    showProgressText(&link.progressCounter, 10000, 1056);
    int opened = link.OpenParameterAccess(true);
    ui().HideProgress();
    if (!opened) showText(1057);
    return opened != 0;
}

// Every available parameter of the device to 0, written in the form opposite
// to its reading: a single digit 0 for a numeric parameter, the value 0 for
// an on/off one. Devices take a zero in either form as a clear. The result
// that ended the pass.
SeekResult clearParameters(DeviceLink& link) {
    ParameterNumber number = 0;
    showProgressText(&number, link.endKey, 32780);
    number = FIRST_PARAMETER;
    SeekResult r = SeekResult::Failed;
    for (uint32_t step = 0; step < MAX_STEPS; ++step) {
        ParameterReading reading;
        r = seekParameter(link, number, false, &reading);
        if (r != SeekResult::Found) break;
        link.WriteRegisterRetry(number, 0, !reading.onOff);
        if (link.errorFlag()) {
            r = SeekResult::Failed;
            break;
        }
        nextParameterNumber(link, number);
        if (number >= link.endKey) break;
    }
    ui().HideProgress();
    return r;
}

struct DataPassResult {
    bool failed = false;         // a read or write failed (text 3 to come)
    bool malformed = false;      // a value could not be read (text 32783 shown)
    bool missing = false;        // the file lists parameters the device lacks
};

// The file's "#CODE: "/"#DATA: " pairs, each written after a read of exactly
// that number tells its kind.
DataPassResult writeFileValues(DeviceLink& link, std::string_view remaining, bool failedBefore) {
    DataPassResult result;
    result.failed = failedBefore;
    ParameterNumber number = 0;
    showProgressText(&number, link.endKey, 32781);
    while (!remaining.empty()) {
        auto afterCode = afterKey(remaining, KEY_CODE);
        if (!afterCode) break;
        remaining = *afterCode;
        auto code = scanHex(remaining);
        if (!code) {
            showText(32783);
            result.malformed = true;
            break;
        }
        auto afterData = afterKey(remaining, KEY_DATA);
        if (!afterData) break;
        remaining = *afterData;

        number = code->value;
        ParameterReading reading = readParameter(link, number);
        if (reading.outcome == ReadOutcome::Failed) {
            result.failed = true;
            break;
        }
        if (reading.outcome != ReadOutcome::Present) {
            result.missing = true;
            continue;
        }
        if (!reading.onOff) {
            auto value = scanDecimal(remaining);
            if (!value) {
                showText(32783);
                result.malformed = true;
                break;
            }
            link.WriteRegisterRetry(number, value->value, false);
        } else {
            auto word = scanWord(remaining, 3);
            if (!word) {
                showText(32783);
                result.malformed = true;
                break;
            }
            uint32_t on = word->word.compare(0, 2, "ON") == 0 ? 1 : 0;
            link.WriteRegisterRetry(number, on, true);
        }
        if (link.errorFlag()) {
            result.failed = true;
            break;
        }
    }
    ui().HideProgress();
    return result;
}

}  // namespace

bool applyParameterText(MemoryStream& stream) {
    DeviceLink& link = deviceLink();
    size_t length = stream.length();
    std::string text(length, '\0');
    stream.seek(0);
    if (stream.read(text.data(), length) != length) {
        showText(4);
        return false;
    }
    std::string_view view(text);

    auto name = afterKey(view, KEY_NAME);
    if (!name) {
        showText(32783);
        return false;
    }
    // The file's name may run on past the device's (a longer word, blanks).
    const std::string& deviceName = link.deviceName;
    if (name->substr(0, deviceName.size()) != deviceName) {
        showText(32784);
        return false;
    }
    // Nothing reaches the device from a text that would stop half way.
    if (!parameterTextWellFormed(text)) {
        showText(32783);
        return false;
    }

    bool goOn = withHeaderNumber(view, KEY_PVER, scanDecimal, [&](uint32_t version) {
        return version == link.parameterVersion || askText(32788);
    });
    if (!goOn) return false;
    goOn = withHeaderNumber(view, KEY_ADDR, scanHex, [&](uint32_t address) {
        if (link.WriteAddress(address)) return true;
        showText(3);
        return false;
    });
    if (!goOn) return false;
    goOn = withHeaderNumber(view, KEY_PSWD, scanOctal, [&](uint32_t password) {
        if (link.WritePassword(password)) return true;
        showText(3);
        return false;
    });
    if (!goOn) return false;

    if (!openExtendedAccess(link)) return false;
    SeekResult cleared = clearParameters(link);
    if (cleared == SeekResult::Failed) {
        showText(3);
        return false;
    }

    DataPassResult written = writeFileValues(link, view, false);
    if (written.missing) showText(32786);
    if (written.failed) {
        showText(3);
        return false;
    }
    return !written.malformed;
}

bool loadParameterFile(const std::string& path) {
    MemoryStream stream;
    if (!readSealedFile(path, stream)) return false;
    return applyParameterText(stream);
}

void loadParameterFileCommand() {
    frame().idle = false;
    std::error_code ec;
    std::string here = std::filesystem::current_path(ec).string();
    auto chosen = ui().chooseOpenFile(FileChoice{fileFilter(PARAMETER_EXTENSION), PARAMETER_EXTENSION, here});
    if (chosen) {
        loadParameterFile(*chosen);
        restartAndReport();
    }
    frame().RenderPanel();
    frame().idle = true;
}
