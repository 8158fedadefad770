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
#include "params/DeviceCommands.h"
#include "params/ParameterModel.h"
#include "texts/TextFill.h"

namespace {

constexpr uint32_t MAX_STEPS = (PARAMETER_CEILING - FIRST_PARAMETER) / 2 + 2;
constexpr uint32_t CHECK_CAPTION_TEXT = 33024;   // checking the file against the device
constexpr uint32_t LOAD_QUESTION = 33200;        // "Load %s into the device %s at address %s? ..."
constexpr uint32_t WIDE_QUESTION = 33201;        // values wider than their digits: load anyway?
constexpr uint32_t WIDE_ROW_TEXT = 33202;        // "%s %s: %s does not fit in %s digits"

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
// that ended the pass; failedAt names the parameter of a failure.
SeekResult clearParameters(AppContext& ctx, uint32_t& failedAt) {
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
    if (r == SeekResult::Failed) failedAt = number;
    ctx.ui().HideProgress();
    return r;
}

// A file value with more hex digits than the device answers its parameter in.
struct WideValue {
    ParameterNumber number = 0;
    uint32_t value = 0;
    uint8_t digits = 0;
};

struct DataPassResult {
    bool failed = false;         // a read or write failed (text 3 to come)
    bool malformed = false;      // a value could not be read (text 32783 shown)
    uint32_t failedAt = 0;       // the parameter of a failed read or write
    std::vector<uint32_t> missing;   // registers the device lacks
    std::vector<WideValue> wide;     // found by the check
};

enum class Pass { Check, Write };

bool widerThan(uint32_t value, uint8_t digits) {
    return digits > 0 && digits < 8 && value > (uint32_t(1) << (4 * digits)) - 1;
}

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
            result.failedAt = registerOfCode(code);
            return false;
        }
        if (reading.outcome != ReadOutcome::Present) {
            result.missing.push_back(registerOfCode(code));
            return true;
        }
        const std::optional<uint32_t> value = parameterValueOf(text, reading.onOff);
        if (!value) {
            ctx.showText(32783);
            result.malformed = true;
            return false;
        }
        if (!write && !reading.onOff && widerThan(*value, reading.digits))
            result.wide.push_back({registerOfCode(code), *value, reading.digits});
        // An on/off parameter takes the digit form, a numeric one the value form.
        if (write) link.WriteRegisterRetry(number, *value, reading.onOff);
        if (write && link.errorFlag()) {
            result.failed = true;
            result.failedAt = registerOfCode(code);
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

// The one question about values the device will likely refuse: going on
// zeroes the device before the first of them stops the load.
bool loadWideValues(AppContext& ctx, const std::vector<WideValue>& wide) {
    std::string list;
    for (const WideValue& w : wide)
        list += "\n" + fillText(ctx.message(WIDE_ROW_TEXT), {formatParameterNumber(w.number),
                                                            parameterDescription(ctx.texts, w.number),
                                                            std::to_string(w.value), std::to_string(w.digits)});
    return ctx.ui().questionDefaultNo(ctx.settings.windowTitle, ctx.message(WIDE_QUESTION) + "\n" + list);
}

}  // namespace

bool applyParameterText(AppContext& ctx, MemoryStream& stream) { return applyParameterText(ctx, stream, {}); }

bool applyParameterText(AppContext& ctx, MemoryStream& stream, const std::function<bool()>& beforeWriting) {
    const LoadRun run = runParameterText(ctx, stream, LoadOptions{beforeWriting, true});
    if (run.deviceFailed) ctx.showText(3);
    return run.loaded;
}

LoadRun runParameterText(AppContext& ctx, MemoryStream& stream, const LoadOptions& options) {
    DeviceLink& link = ctx.link;
    LoadRun run;
    size_t length = stream.length();
    std::string text(length, '\0');
    stream.seek(0);
    if (stream.read(text.data(), length) != length) {
        ctx.showText(4);
        return run;
    }
    std::string_view view(text);

    auto name = afterKey(view, KEY_NAME);
    if (!name) {
        ctx.showText(32783);
        return run;
    }
    // The file's name may run on past the device's (a longer word, blanks).
    const std::string& deviceName = link.deviceName;
    if (name->substr(0, deviceName.size()) != deviceName) {
        ctx.showText(32784);
        return run;
    }
    // Nothing reaches the device from a text that would stop half way.
    if (!parameterTextWellFormed(text)) {
        ctx.showText(32783);
        return run;
    }

    bool goOn = withHeaderNumber(ctx, view, KEY_PVER, scanDecimal, [&](uint32_t version) {
        return version == link.parameterVersion || ctx.askText(32788);
    });
    if (!goOn) return run;

    // The step before writing runs here, before the check opens extended
    // access: reading the device with it already open would find every
    // parameter readable with normal access too (only a restart closes it).
    if (options.beforeWriting && !options.beforeWriting()) return run;

    // Before the first write: every value against the kind of its parameter.
    // The access handshake writes nothing but the access registers.
    run.accessOpened = true;
    if (!openParameterAccess(ctx, true)) return run;
    DataPassResult checked = walkFileValues(ctx, view, Pass::Check);
    if (checked.failed) {
        run.deviceFailed = true;
        run.failedAt = checked.failedAt;
        return run;
    }
    if (checked.malformed) return run;   // text 32783 shown, nothing written
    if (options.askAboutWideValues && !checked.wide.empty() && !loadWideValues(ctx, checked.wide)) return run;

    run.written = true;   // from here on the device changes
    goOn = withHeaderNumber(ctx, view, KEY_ADDR, scanHex, [&](uint32_t address) {
        if (link.WriteAddress(address)) return true;
        run.deviceFailed = true;
        return false;
    });
    if (!goOn) return run;
    goOn = withHeaderNumber(ctx, view, KEY_PSWD, scanOctal, [&](uint32_t password) {
        if (link.WritePassword(password)) return true;
        run.deviceFailed = true;
        return false;
    });
    if (!goOn) return run;

    if (!openParameterAccess(ctx, true)) return run;
    SeekResult cleared = clearParameters(ctx, run.failedAt);
    if (cleared == SeekResult::Failed) {
        run.deviceFailed = true;
        return run;
    }

    DataPassResult written = walkFileValues(ctx, view, Pass::Write);
    run.missing = written.missing;
    if (!written.missing.empty()) ctx.showText(32786);
    if (written.failed) {
        run.deviceFailed = true;
        run.failedAt = written.failedAt;
        return run;
    }
    run.loaded = !written.malformed;
    return run;
}

bool loadParameterFile(AppContext& ctx, const std::string& path) {
    MemoryStream stream;
    if (!readSealedFile(ctx, path, stream)) return false;
    return applyParameterText(ctx, stream);
}

bool loadFileIntoDevice(AppContext& ctx, const std::string& path, bool* confirmed) {
    // A load replaces every parameter: the operator confirms which device
    // and which file, and Enter must not do it for them.
    const std::string question = fillText(ctx.message(LOAD_QUESTION), {path, trimmedDeviceName(ctx.link.deviceName),
                                                                       addressText(ctx.link.selectedAddress)});
    const bool yes = ctx.ui().questionDefaultNo(ctx.settings.windowTitle, question);
    if (confirmed) *confirmed = yes;
    if (!yes) return false;
    const SafeLoad load = loadParameterFileSafely(ctx, path);
    // A file refused before the device was touched leaves nothing to restart;
    // once a handshake ran, only a restart closes the access it opened.
    if (!load.accessOpened) return false;
    if (!restartAndReport(ctx) || !load.loaded) return false;
    return finishLoad(ctx, load, [&] { return restartAndReport(ctx) != 0; });
}

void loadParameterFileCommand(AppContext& ctx) {
    ctx.window().idle = false;
    auto chosen = chooseFileToOpen(ctx, fileFilter(ctx.texts, PARAMETER_EXTENSION), PARAMETER_EXTENSION);
    if (chosen) loadFileIntoDevice(ctx, *chosen);
    ctx.window().RenderPanel();
    ctx.window().idle = true;
}
