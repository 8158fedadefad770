#include "files/PutBack.h"

#include <algorithm>
#include <map>

#include "files/FileNames.h"
#include "files/ParameterKeys.h"
#include "files/ParameterPairs.h"
#include "files/ScanfLike.h"
#include "link/DeviceLink.h"
#include "link/RegisterKeys.h"
#include "params/DeviceCommands.h"
#include "params/ParameterModel.h"
#include "session/AppContext.h"
#include "session/DeviceSteps.h"
#include "session/JournalEntry.h"
#include "texts/TextFill.h"
#include "texts/TextTable.h"

namespace {

constexpr uint32_t REFUSED_AT_TEXT = 0x8290;       // "Loading %s stopped at parameter %s (%s): the device refused the value %s."
constexpr uint32_t SILENT_AT_TEXT = 0x8291;        // "... did not answer when it was sent the value %s."
constexpr uint32_t REFUSED_BEFORE_TEXT = 0x8292;   // "Loading %s stopped before the parameters: the device refused %s."
constexpr uint32_t SILENT_BEFORE_TEXT = 0x8293;    // "... did not answer when it was sent %s."
constexpr uint32_t UNCHANGED_TEXT = 0x8294;
constexpr uint32_t PUT_BACK_TEXT = 0x8295;         // "The device was put back from the backup %s and read back ..."
constexpr uint32_t PUT_BACK_STOPPED_TEXT = 0x8296; // "PARTIAL RESULT: putting the device back from the backup %s stopped at %s ..."
constexpr uint32_t IDENTITY_LEFT_TEXT = 0x8297;    // "Its bus address or its password may be the file's ..."
constexpr uint32_t ZEROS_BEFORE_TEXT = 0x8298;     // "Its parameters before %s hold zeros ..."
constexpr uint32_t ZEROS_FROM_TEXT = 0x8299;       // "It holds the file's values before parameter %s and zeros from there on ..."
constexpr uint32_t ADDRESS_WORDS = 0x829A;         // "the bus address %s"
constexpr uint32_t PASSWORD_WORDS = 0x829B;        // "the password"
constexpr uint32_t ACCESS_WORDS = 0x829C;          // "the parameter access"
constexpr uint32_t LOAD_BACKUP_TEXT = 0x829D;      // "Load the backup %s into it once it answers."
constexpr uint32_t NO_ANSWER_AT_TEXT = 0x829F;     // "Loading %s stopped at parameter %s (%s): the device did not answer."
constexpr uint32_t NO_BACKUP_TEXT = 33080;         // "No backup ... was saved before the load."

bool isParameter(uint32_t key) { return key >= FIRST_PARAMETER; }

// The registers the load wrote, each once: the parameters in the order
// written, then the password, then the bus address.
std::vector<uint32_t> registersToPutBack(const LoadRun& run) {
    std::vector<uint32_t> keys;
    for (const WrittenRegister& r : run.registers)
        if (isParameter(r.key) && std::find(keys.begin(), keys.end(), r.key) == keys.end()) keys.push_back(r.key);
    for (uint32_t identity : {PasswordKey, AddressKey})
        if (std::any_of(run.registers.begin(), run.registers.end(),
                        [&](const WrittenRegister& r) { return r.key == identity; }))
            keys.push_back(identity);
    return keys;
}

// The backup's value of a register: a parameter's by the kind the device
// gives it, the password from the head, the address the device had.
using ValueTexts = std::map<uint32_t, std::string_view>;

std::optional<uint32_t> backupValue(std::string_view text, const ValueTexts& values, const LoadRun& run, uint32_t key,
                                    bool onOff) {
    if (key == AddressKey) return run.addressBefore;
    if (key == PasswordKey) {
        const auto value = afterKey(text, KEY_PSWD);
        const auto number = value ? scanOctal(*value) : std::nullopt;
        return number ? std::optional<uint32_t>(number->value) : std::nullopt;
    }
    const auto at = values.find(key);
    return at == values.end() ? std::nullopt : parameterValueOf(at->second, onOff);
}

// The register read back, twice when it differs (a lost digit pair makes a
// wrong value); nothing when the device did not answer.
std::optional<uint32_t> readBack(DeviceLink& link, uint32_t key, uint32_t expected) {
    std::optional<uint32_t> read;
    for (int attempt = 0; attempt < 2; ++attempt) {
        const ParameterReading r = readParameter(link, key);
        if (r.outcome != ReadOutcome::Present) return read;
        read = r.value;
        if (r.value == expected) break;
    }
    return read;
}

std::string registerWords(const LanguageTexts& texts, uint32_t key, uint32_t value) {
    if (key == AddressKey) return fillText(texts.messages.Lookup(ADDRESS_WORDS), {addressText(static_cast<uint8_t>(value))});
    if (key == PasswordKey) return texts.messages.Lookup(PASSWORD_WORDS);
    return formatParameterNumber(key) + " (" + parameterDescription(texts, key) + ")";
}

// Where the load stopped, and on what.
std::string whereItStopped(const LanguageTexts& texts, const std::string& path, const LoadRun& run) {
    auto message = [&](uint32_t n) { return texts.messages.Lookup(n); };
    const uint32_t at = run.failedAt;
    if (at && isParameter(at)) {
        const std::string number = formatParameterNumber(at), description = parameterDescription(texts, at);
        if (!run.failedValue) return fillText(message(NO_ANSWER_AT_TEXT), {path, number, description});
        return fillText(message(run.failedSilent ? SILENT_AT_TEXT : REFUSED_AT_TEXT),
                        {path, number, description, formatParameterValue(*run.failedValue)});
    }
    // Before the parameters: the address, the password or the access.
    std::string what = message(ACCESS_WORDS);
    if (run.stage == LoadStage::Address) what = registerWords(texts, AddressKey, run.failedValue.value_or(0));
    if (run.stage == LoadStage::Password) what = message(PASSWORD_WORDS);
    // An access that did not open was not given; a value sent got no answer.
    const bool silent = run.stage != LoadStage::Access && (run.failedSilent || !run.failedValue);
    return fillText(message(silent ? SILENT_BEFORE_TEXT : REFUSED_BEFORE_TEXT), {path, what});
}

// What the stopped load left in the device where nothing was put back.
std::string whatTheLoadLeft(const LanguageTexts& texts, const LoadRun& run) {
    auto message = [&](uint32_t n) { return texts.messages.Lookup(n); };
    if (run.stage == LoadStage::Clearing)
        return fillText(message(ZEROS_BEFORE_TEXT), {formatParameterNumber(run.failedAt)});
    if (run.stage == LoadStage::Writing)
        return fillText(message(ZEROS_FROM_TEXT), {formatParameterNumber(run.failedAt)});
    return message(IDENTITY_LEFT_TEXT);
}

// A register as the history names it.
std::string registerName(uint32_t key) {
    if (key == AddressKey) return "the bus address";
    if (key == PasswordKey) return "the password";
    return formatParameterNumber(key);
}

}  // namespace

PutBackResult putBackWritten(AppContext& ctx, const std::string& backupPath, const LoadRun& run) {
    PutBackResult result;
    const std::vector<uint32_t> keys = registersToPutBack(run);
    MemoryStream stream;
    if (keys.empty() || backupPath.empty() || !readSealedFile(ctx, backupPath, stream)) return result;
    const std::string text = stream.str();
    const std::vector<std::pair<uint32_t, std::string_view>> listed = listedValues(text);
    const ValueTexts values(listed.begin(), listed.end());
    DeviceLink& link = ctx.link;
    result.attempted = true;
    JournalEntry entry(ctx, JournalOperation::PutBack, withExtension(backupPath, PARAMETER_EXTENSION));

    struct Written {
        uint32_t key;
        uint32_t value;
        bool onOff;
    };
    std::vector<Written> written;
    const bool parameters = std::any_of(keys.begin(), keys.end(), isParameter);
    if (parameters && !openParameterAccess(ctx, true)) result.stoppedAt = keys.front();
    for (uint32_t key : keys) {
        if (result.stoppedAt) break;
        bool onOff = false;
        if (isParameter(key)) {
            const ParameterReading kind = readParameter(link, key);
            if (kind.outcome == ReadOutcome::Failed) {
                result.stoppedAt = key;
                break;
            }
            onOff = kind.onOff;
        }
        const auto value = backupValue(text, values, run, key, onOff);
        if (!value) continue;   // the backup does not hold it (a password the device withheld)
        bool taken = false;
        if (key == AddressKey)
            taken = link.WriteAddress(*value) != 0;
        else if (key == PasswordKey)
            taken = link.WritePassword(*value) != 0;
        else
            taken = (link.WriteRegisterRetry(key, *value, onOff), link.errorFlag() == 0);
        if (!taken) {
            result.stoppedAt = key;
            if (isParameter(key)) result.values.push_back({key, onOff, {}, *value, {}, lastWriteOutcome(ctx)});
            break;
        }
        written.push_back({key, *value, onOff});
    }
    // What the device holds now, read back, the address last as written.
    bool same = !result.stoppedAt;
    for (const Written& w : written) {
        const std::optional<uint32_t> now = readBack(link, w.key, w.value);
        const bool equal = now == w.value;
        if (!equal && same) result.stoppedAt = w.key;
        same = same && equal;
        if (isParameter(w.key))
            result.values.push_back({w.key, w.onOff, {}, w.value, now,
                                     equal ? ValueOutcome::Verified : (now ? ValueOutcome::Differs : ValueOutcome::Written)});
    }
    result.verified = same;
    entry.record().values = result.values;
    entry.record().detail = result.verified ? "put back and verified" : "put back stopped at " + registerName(result.stoppedAt);
    entry.finish(result.verified);
    return result;
}

std::string stoppedLoadReport(const LanguageTexts& texts, const std::string& path, const std::string& backupPath,
                              const LoadRun& run, const PutBackResult& putBack) {
    auto message = [&](uint32_t n) { return texts.messages.Lookup(n); };
    std::string out = whereItStopped(texts, path, run) + "\n\n";
    if (run.registers.empty()) return out + message(UNCHANGED_TEXT);
    if (putBack.verified) return out + fillText(message(PUT_BACK_TEXT), {backupPath});
    if (putBack.attempted)
        out += fillText(message(PUT_BACK_STOPPED_TEXT),
                        {backupPath, registerWords(texts, putBack.stoppedAt, run.addressBefore)}) + " ";
    out += whatTheLoadLeft(texts, run) + " ";
    return out + (backupPath.empty() ? message(NO_BACKUP_TEXT) : fillText(message(LOAD_BACKUP_TEXT), {backupPath}));
}

std::string stoppedLoadDetail(const LoadRun& run, const PutBackResult& putBack) {
    std::string out = run.failedAt && isParameter(run.failedAt) ? "stopped at " + formatParameterNumber(run.failedAt)
                                                                : "stopped before the parameters";
    if (run.failedValue)
        out += std::string(run.failedSilent ? ": no answer to " : ": refused ") + formatParameterValue(*run.failedValue);
    if (run.registers.empty()) return out + "; device unchanged";
    if (putBack.verified) return out + "; put back and verified";
    if (putBack.attempted) return out + "; put back stopped at " + registerName(putBack.stoppedAt);
    return out + "; not put back";
}
