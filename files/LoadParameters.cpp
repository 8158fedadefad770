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
#include "files/JournalRecords.h"
#include "files/ScanfLike.h"
#include "link/DeviceLink.h"
#include "link/RegisterKeys.h"
#include "params/DeviceCommands.h"
#include "params/ParameterModel.h"
#include "texts/TextFill.h"

namespace {

constexpr uint32_t MAX_STEPS = (PARAMETER_CEILING - FIRST_PARAMETER) / 2 + 2;
constexpr uint32_t CHECK_CAPTION_TEXT = 33024;   // checking the file against the device
constexpr uint32_t LOAD_QUESTION = 33200;        // "Load %s into the device %s at address %s? ..."
constexpr uint32_t WIDE_QUESTION = 33201;        // values wider than their digits: load anyway?
constexpr uint32_t WIDE_ROW_TEXT = 33202;        // "%s %s: %s does not fit in %s digits"
constexpr uint32_t OTHER_DEVICE_TEXT = 32784;    // "The file %s belongs to the device %s; the device connected is %s ..."
constexpr uint32_t ADDRESS_TAKEN_QUESTION = 0x829E;   // "A device already answers at address %s ... Load anyway?"

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


// A write the load made, noted in run: what it wrote, or what stopped it (a
// refusal leaves the register as it was; a write without an answer may have
// gone in). True when the device took it.
bool noteWrite(const DeviceLink& link, LoadRun& run, uint32_t key, uint32_t value, bool onOff) {
    const SerialLink::WriteAnswer answer = link.lastWriteAnswer();
    if (answer != SerialLink::WriteAnswer::Refused)
        run.registers.push_back({key, value, onOff, answer == SerialLink::WriteAnswer::Taken});
    if (answer == SerialLink::WriteAnswer::Taken) return true;
    run.failedValue = value;
    run.failedSilent = answer == SerialLink::WriteAnswer::Silent;
    return false;
}

// Every available parameter of the device to 0, written in the form opposite
// to its reading: a single digit 0 for a numeric parameter, the value 0 for
// an on/off one. Devices take a zero in either form as a clear. The result
// that ended the pass; failedAt names the parameter of a failure.
SeekResult clearParameters(AppContext& ctx, LoadRun& run) {
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
        if (!noteWrite(link, run, number, 0, reading.onOff)) {
            r = SeekResult::Failed;
            break;
        }
        nextParameterNumber(link, number);
        if (number >= link.endKey) break;
    }
    if (r == SeekResult::Failed) run.failedAt = number;
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
DataPassResult walkFileValues(AppContext& ctx, std::string_view remaining, Pass pass, LoadRun* run = nullptr) {
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
        if (write) {
            link.WriteRegisterRetry(number, *value, reading.onOff);
            if (!noteWrite(link, *run, registerOfCode(code), *value, reading.onOff)) {
                result.failed = true;
                result.failedAt = registerOfCode(code);
                return false;
            }
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

// Another device answering at the address the file would move this one to:
// two devices at one address answer each other's requests. False when one
// answers there (or our device cannot be selected again).
bool addressIsFree(AppContext& ctx, uint8_t address, bool& reselected) {
    DeviceLink& link = ctx.link;
    const uint8_t own = link.selectedAddress;
    link.Deselect();
    const bool answered = link.Select(address) != 0;
    link.Deselect();
    reselected = link.Select(own) != 0;
    return !answered;
}

}  // namespace

std::optional<std::string> nameInText(std::string_view text) {
    auto name = afterKey(text, KEY_NAME);
    if (!name) return std::nullopt;
    return trimmedDeviceName(std::string(name->substr(0, name->find('\n'))));
}

bool textIsForDevice(AppContext& ctx, std::string_view text, const std::string& path) {
    const std::string& deviceName = ctx.link.deviceName;
    auto name = afterKey(text, KEY_NAME);
    // The file's name may run on past the device's (a longer word, blanks).
    if (name && name->substr(0, deviceName.size()) == deviceName) return true;
    ctx.showMessage(fillText(ctx.message(OTHER_DEVICE_TEXT),
                             {path, nameInText(text).value_or("?"), trimmedDeviceName(deviceName),
                              addressText(ctx.link.selectedAddress)}));
    return false;
}

bool applyParameterText(AppContext& ctx, MemoryStream& stream) { return applyParameterText(ctx, stream, {}); }

bool applyParameterText(AppContext& ctx, MemoryStream& stream, const std::function<bool()>& beforeWriting) {
    const LoadRun run = runParameterText(ctx, stream, LoadOptions{beforeWriting, true, {}});
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

    run.addressBefore = link.selectedAddress;
    if (!afterKey(view, KEY_NAME)) {
        ctx.showText(32783);
        return run;
    }
    if (!textIsForDevice(ctx, view, options.path)) {
        run.declined = "the file is of another device";
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
    if (!goOn) {
        run.declined = "another parameter version";
        return run;
    }

    // A file that moves the device onto an address another device answers
    // at: asked before anything is read or written (a batch job says No).
    goOn = withHeaderNumber(ctx, view, KEY_ADDR, scanHex, [&](uint32_t address) {
        if (address == link.selectedAddress) return true;
        bool reselected = true;
        if (addressIsFree(ctx, static_cast<uint8_t>(address), reselected)) return reselected;
        if (!reselected) return false;
        return ctx.ui().questionDefaultNo(
            ctx.settings.windowTitle,
            fillText(ctx.message(ADDRESS_TAKEN_QUESTION),
                     {addressText(static_cast<uint8_t>(address)), trimmedDeviceName(link.deviceName)}));
    });
    if (!goOn) {
        run.declined = "another device answers at the file's address";
        run.deviceFailed = link.selectedAddress != run.addressBefore || !link.connected;
        return run;
    }

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
    if (options.askAboutWideValues && !checked.wide.empty() && !loadWideValues(ctx, checked.wide)) {
        run.declined = "values wider than their parameters";
        return run;
    }

    run.written = true;   // from here on the device changes
    run.stage = LoadStage::Address;
    goOn = withHeaderNumber(ctx, view, KEY_ADDR, scanHex, [&](uint32_t address) {
        const bool taken = link.WriteAddress(address) != 0;
        if (noteWrite(link, run, AddressKey, address, false) && taken) return true;
        run.deviceFailed = true;
        return false;
    });
    if (!goOn) return run;
    run.stage = LoadStage::Password;
    goOn = withHeaderNumber(ctx, view, KEY_PSWD, scanOctal, [&](uint32_t password) {
        const bool taken = link.WritePassword(password) != 0;
        if (noteWrite(link, run, PasswordKey, password, false) && taken) return true;
        run.deviceFailed = true;
        return false;
    });
    if (!goOn) return run;

    run.stage = LoadStage::Access;
    if (!openParameterAccess(ctx, true)) {
        run.deviceFailed = true;
        return run;
    }
    run.stage = LoadStage::Clearing;
    SeekResult cleared = clearParameters(ctx, run);
    if (cleared == SeekResult::Failed) {
        run.deviceFailed = true;
        return run;
    }

    run.stage = LoadStage::Writing;
    DataPassResult written = walkFileValues(ctx, view, Pass::Write, &run);
    run.missing = written.missing;
    if (!written.missing.empty()) ctx.showText(32786);
    if (written.failed) {
        run.deviceFailed = true;
        run.failedAt = written.failedAt;
        return run;
    }
    run.loaded = !written.malformed;
    if (run.loaded) run.stage = LoadStage::Complete;
    return run;
}

bool loadParameterFile(AppContext& ctx, const std::string& path) {
    MemoryStream stream;
    if (!readSealedFile(ctx, path, stream)) return false;
    return applyParameterText(ctx, stream);
}

bool loadFileIntoDevice(AppContext& ctx, const std::string& path, bool* confirmed) {
    if (confirmed) *confirmed = false;
    // A file of another device is said at once, naming both, not after the
    // operator has said Yes to loading it.
    MemoryStream stream;
    if (!readSealedFile(ctx, path, stream)) return false;
    if (afterKey(stream.str(), KEY_NAME) && !textIsForDevice(ctx, stream.str(), path)) return false;
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
    if (!restartAndReport(ctx)) {
        if (load.loaded) noteRestartLost(load);
        return false;
    }
    if (!load.loaded) return false;
    return finishLoad(ctx, load, [&] { return restartAndReport(ctx) != 0; });
}

void loadParameterFileCommand(AppContext& ctx) {
    ctx.window().idle = false;
    auto chosen = chooseFileToOpen(ctx, fileFilter(ctx.texts, PARAMETER_EXTENSION), PARAMETER_EXTENSION);
    if (chosen) loadFileIntoDevice(ctx, *chosen);
    ctx.window().RenderPanel();
    ctx.window().idle = true;
}
