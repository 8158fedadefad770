// Loading a parameter file into the selected device: identity settings, a
// pass that sets every parameter to 0, then the file's values.
#include <filesystem>
#include <string_view>

#include "session/AppContext.h"
#include "session/FileChooser.h"
#include "session/DeviceSteps.h"
#include "files/FileNames.h"
#include "files/ParameterFiles.h"
#include "files/ParameterKeys.h"
#include "files/ParameterPairs.h"
#include "files/SafeLoad.h"
#include "files/ScanfLike.h"
#include "link/DeviceLink.h"
#include "params/ParameterModel.h"

namespace {

constexpr uint32_t MAX_STEPS = (PARAMETER_CEILING - FIRST_PARAMETER) / 2 + 2;
constexpr uint32_t CHECK_CAPTION_TEXT = 33024;   // checking the file against the device
constexpr uint32_t LOADED_TEXT = 33029;          // "Loaded %s into the device"

// The value of a header key: nothing to do when the key is absent, false
// after text 32783 when its value cannot be read.
template <typename Use>
bool withHeaderNumber(AppContext& ctx, std::string_view text, const char* key, std::optional<ScannedNumber> (*read)(std::string_view),
                      Use use) {
    auto value = afterKey(text, key);
    if (!value) return true;
    auto number = read(*value);
    if (!number) {
        ctx.showText(32783);
        return false;
    }
    return use(number->value);
}


// Every available parameter of the device to 0, written in the form opposite
// to its reading: a single digit 0 for a numeric parameter, the value 0 for
// an on/off one. Devices take a zero in either form as a clear. The result
// that ended the pass.
SeekResult clearParameters(AppContext& ctx) {
    DeviceLink& link = ctx.link;
    ParameterNumber number = 0;
    ctx.showProgressText(&number, link.endKey, 32780);
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
    ctx.ui().HideProgress();
    return r;
}

struct DataPassResult {
    bool failed = false;         // a read or write failed (text 3 to come)
    bool malformed = false;      // a value could not be read (text 32783 shown)
    bool missing = false;        // the file lists parameters the device lacks
};

enum class Pass { Check, Write };

// The file's "#CODE: "/"#DATA: " pairs, each written after a read of exactly
// that number tells its kind. The check before a load walks them the same
// way and writes nothing: whether a value is good depends on the kind of its
// parameter, which only the device knows, so only the same reads find every
// value the data pass would stop on.
DataPassResult walkFileValues(AppContext& ctx, std::string_view remaining, Pass pass) {
    DeviceLink& link = ctx.link;
    const bool write = pass == Pass::Write;
    DataPassResult result;
    ParameterNumber number = 0;
    ctx.showProgressText(&number, link.endKey, write ? 32781 : CHECK_CAPTION_TEXT);
    const PairsEnd end = forEachParameterPair(remaining, [&](uint32_t code, std::string_view text) {
        number = code;
        ParameterReading reading = readParameter(link, number);
        if (reading.outcome == ReadOutcome::Failed) {
            result.failed = true;
            return false;
        }
        if (reading.outcome != ReadOutcome::Present) {
            result.missing = true;
            return true;
        }
        const std::optional<uint32_t> value = parameterValueOf(text, reading.onOff);
        if (!value) {
            ctx.showText(32783);
            result.malformed = true;
            return false;
        }
        // An on/off parameter takes the digit form, a numeric one the value form.
        if (write) link.WriteRegisterRetry(number, *value, reading.onOff);
        if (write && link.errorFlag()) {
            result.failed = true;
            return false;
        }
        return true;
    });
    if (end == PairsEnd::BadNumber) {
        ctx.showText(32783);
        result.malformed = true;
    }
    ctx.ui().HideProgress();
    return result;
}

}  // namespace

bool applyParameterText(AppContext& ctx, MemoryStream& stream) { return applyParameterText(ctx, stream, {}); }

bool applyParameterText(AppContext& ctx, MemoryStream& stream, const std::function<bool()>& beforeWriting) {
    DeviceLink& link = ctx.link;
    size_t length = stream.length();
    std::string text(length, '\0');
    stream.seek(0);
    if (stream.read(text.data(), length) != length) {
        ctx.showText(4);
        return false;
    }
    std::string_view view(text);

    auto name = afterKey(view, KEY_NAME);
    if (!name) {
        ctx.showText(32783);
        return false;
    }
    // The file's name may run on past the device's (a longer word, blanks).
    const std::string& deviceName = link.deviceName;
    if (name->substr(0, deviceName.size()) != deviceName) {
        ctx.showText(32784);
        return false;
    }
    // Nothing reaches the device from a text that would stop half way.
    if (!parameterTextWellFormed(text)) {
        ctx.showText(32783);
        return false;
    }

    bool goOn = withHeaderNumber(ctx, view, KEY_PVER, scanDecimal, [&](uint32_t version) {
        return version == link.parameterVersion || ctx.askText(32788);
    });
    if (!goOn) return false;

    // The step before writing runs here, before the check opens extended
    // access: reading the device with it already open would find every
    // parameter readable with normal access too (only a restart closes it).
    if (beforeWriting && !beforeWriting()) return false;

    // Before the first write: every value against the kind of its parameter.
    // The access handshake writes nothing but the access registers.
    if (!openParameterAccess(ctx, true)) return false;
    DataPassResult checked = walkFileValues(ctx, view, Pass::Check);
    if (checked.failed) {
        ctx.showText(3);
        return false;
    }
    if (checked.malformed) return false;   // text 32783 shown, nothing written

    goOn = withHeaderNumber(ctx, view, KEY_ADDR, scanHex, [&](uint32_t address) {
        if (link.WriteAddress(address)) return true;
        ctx.showText(3);
        return false;
    });
    if (!goOn) return false;
    goOn = withHeaderNumber(ctx, view, KEY_PSWD, scanOctal, [&](uint32_t password) {
        if (link.WritePassword(password)) return true;
        ctx.showText(3);
        return false;
    });
    if (!goOn) return false;

    if (!openParameterAccess(ctx, true)) return false;
    SeekResult cleared = clearParameters(ctx);
    if (cleared == SeekResult::Failed) {
        ctx.showText(3);
        return false;
    }

    DataPassResult written = walkFileValues(ctx, view, Pass::Write);
    if (written.missing) ctx.showText(32786);
    if (written.failed) {
        ctx.showText(3);
        return false;
    }
    return !written.malformed;
}

bool loadParameterFile(AppContext& ctx, const std::string& path) {
    MemoryStream stream;
    if (!readSealedFile(ctx, path, stream)) return false;
    return applyParameterText(ctx, stream);
}

bool loadFileIntoDevice(AppContext& ctx, const std::string& path) {
    const SafeLoad load = loadParameterFileSafely(ctx, path);
    if (!restartAndReport(ctx) || !load.loaded) return false;
    ctx.notifyText(LOADED_TEXT, {path});
    // Read back what the device kept once it runs with its new values.
    if (!ctx.settings.verifyAfterLoad) return true;
    return verifyLoadedFile(ctx, load, [&] { return restartAndReport(ctx) != 0; });
}

void loadParameterFileCommand(AppContext& ctx) {
    ctx.window().idle = false;
    auto chosen = chooseFileToOpen(ctx, fileFilter(ctx.texts, PARAMETER_EXTENSION), PARAMETER_EXTENSION);
    if (chosen) loadFileIntoDevice(ctx, *chosen);
    ctx.window().RenderPanel();
    ctx.window().idle = true;
}
