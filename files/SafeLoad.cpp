// The backup before a load and the read-back after it.
#include "files/SafeLoad.h"

#include <unistd.h>

#include <cstdio>
#include <algorithm>
#include <filesystem>
#include <map>
#include <string_view>

#include "session/AppContext.h"
#include "session/DeviceSteps.h"
#include "session/PortLoss.h"
#include "files/FileNames.h"
#include "files/JournalRecords.h"
#include "files/MovingValues.h"
#include "files/PutBack.h"
#include "session/JournalEntry.h"
#include "files/Format.h"
#include "files/ParameterFiles.h"
#include "files/ParameterKeys.h"
#include "files/ParameterPairs.h"
#include "files/ScanfLike.h"
#include "link/DeviceLink.h"
#include "link/RegisterKeys.h"
#include "params/ConfirmedRead.h"
#include "params/DeviceCommands.h"
#include "platform/UserDirs.h"
#include "texts/TextFill.h"
#include "texts/TextTable.h"

namespace {

constexpr uint32_t NUMBER_TEXT = 1025;
constexpr uint32_t DESCRIPTION_TEXT = 1030;
constexpr uint32_t NO_BACKUP_QUESTION = 33072;   // "... could not be saved to a backup (%s). Load without one?"
constexpr uint32_t VERIFY_CAPTION_TEXT = 33073;  // "Verifying the loaded parameters"
constexpr uint32_t VERIFIED_TEXT = 33074;        // "%u parameters loaded and verified"
constexpr uint32_t DIFFER_TEXT = 33075;          // "%u parameters in the device differ from the file:"
constexpr uint32_t PARTIAL_TEXT = 33076;         // "... stopped answering ...: %u of %u parameters checked"
constexpr uint32_t FILE_COLUMN_TEXT = 33077;
constexpr uint32_t DEVICE_COLUMN_TEXT = 33078;
constexpr uint32_t BACKUP_IS_TEXT = 33079;       // "The parameters before the load are saved in %s"
constexpr uint32_t NO_BACKUP_TEXT = 33080;       // "No backup ... was saved before the load."
constexpr uint32_t BACKUP_SAVED_TEXT = 33081;    // "Backup of the device saved to %s"
constexpr uint32_t AGREE_SO_FAR_TEXT = 33084;    // "The parameters checked agree with the file."
constexpr uint32_t LOADED_TEXT = 33029;          // "Loaded %s into the device"
constexpr uint32_t OPEN_FOLDER_TEXT = 33207;     // "Open the backups folder"
constexpr uint32_t UNKNOWN_VALUE_TEXT = 33208;   // "(no answer)"
constexpr uint32_t UNAVAILABLE_TEXT = 33209;     // "Not available in the device after the restart: %s"
constexpr uint32_t MOVING_TEXT = 0x8266;         // "%s parameters move on their own ...:"
constexpr uint32_t PASSWORD_DIFFERS_TEXT = 0x8267;
constexpr uint32_t ADDRESS_DIFFERS_TEXT = 0x8268; // "The device answers at address %s; the file gives %s."

// Two backups of one device within a second: the second gets a number,
// never the first one's place (it holds what the device had before both).
constexpr int MAX_SAME_NAME = 100;

bool writableDirectory(const std::string& dir) { return !dir.empty() && access(dir.c_str(), W_OK | X_OK) == 0; }

// The backup's parameter file, claimed in the first folder that exists or
// can be made and can be written; empty when there is none. tried names the
// folders tried, or the folder and why no file could be made in it.
std::string newBackupFile(AppContext& ctx, std::string& tried) {
    std::string folder;
    tried.clear();
    for (const std::string& candidate : backupFolders(ctx.settings)) {
        tried += (tried.empty() ? "" : ", ") + candidate;
        if (makeUserFolder(candidate)) {
            folder = candidate;
            break;
        }
    }
    if (folder.empty()) return {};
    // Loads on several buses at once (or two programs) may back up devices
    // of one name and address in the same second: the backup then replaces
    // its claimed, empty file whole.
    // In a job on several buses the name ends in its bus.
    const std::string& bus = ctx.settings.busFileTag;
    const NameClaim claim = claimFreeStem(folder + "/" +
                                              backupBaseName(ctx.link.deviceName, ctx.link.selectedAddress,
                                                             currentLocalDate()) +
                                              (bus.empty() ? "" : "-" + bus),
                                          MAX_SAME_NAME);
    if (claim.stem.empty()) {
        tried = claimFailureCause(ctx.texts, claim);
        return {};
    }
    return claim.parameterFile();
}

// The save command's passes and files, without its restart: the load goes
// on with the access the reading left open. The parameter file's path, or
// empty after the messages of the failure.
std::string saveBackup(AppContext& ctx, std::string& tried, ReadNotes& notes) {
    const std::string file = newBackupFile(ctx, tried);
    if (file.empty()) return {};
    tried = file;
    MemoryStream stream;
    if (!writeParameterText(ctx, stream, &notes) || !writeSealedFile(ctx, file, stream)) {
        dropEmptyClaim(file);
        return {};
    }
    return file;
}


std::string valueText(const LanguageTexts& texts, bool onOff, uint32_t value) {
    return onOff ? onOffText(texts, value != 0) : formatParameterValue(value);
}

std::string column(std::string text, size_t width) {
    if (text.size() > width) text.resize(width);
    text.append(width - text.size(), ' ');
    return text;
}

std::string folderOf(const std::string& path) { return std::filesystem::path(path).parent_path().string(); }

// A result that names a backup comes with the button to its folder.
void showResult(AppContext& ctx, const std::string& text, MessageIcon icon, const std::string& backupPath) {
    if (backupPath.empty())
        ctx.showMessage(text, icon);
    else
        ctx.ui().messageWithFolder(ctx.settings.windowTitle, text, icon, ctx.message(OPEN_FOLDER_TEXT),
                                   folderOf(backupPath));
}

// A load that stopped after it began writing: what it wrote is put back at
// once from the backup (nothing when the port is lost), and one message
// says where the load stopped and what the device holds now; the history
// keeps the same.
void recoverFromStoppedLoad(AppContext& ctx, const SafeLoad& load, const LoadRun& run) {
    // A lost port has been told of; nothing more can reach the device.
    const bool lost = reportPortLoss(ctx);
    PutBackResult putBack;
    if (!lost) putBack = putBackWritten(ctx, load.backupPath, run);
    if (putBack.attempted && !putBack.verified) reportPortLoss(ctx);
    if (load.journal->active()) recordPutBack(*load.journal, run, putBack);
    showResult(ctx, stoppedLoadReport(ctx.texts, load.path, load.backupPath, run, putBack), MessageIcon::Exclamation,
               load.backupPath);
}

// A line of a result followed by another: ended with a full stop, so that
// the lines still read apart where they are joined into one (standard error).
std::string sentence(std::string line) {
    if (!line.empty() && line.back() != '.') line += '.';
    return line;
}

bool contains(const std::vector<uint32_t>& numbers, uint32_t number) {
    return std::find(numbers.begin(), numbers.end(), number) != numbers.end();
}

// One identity register against the file's value: read again when it
// differs (a lost digit pair makes a wrong value). Nothing when the device
// does not give the register; false on a failed read.
bool identityAgrees(DeviceLink& link, uint32_t key, uint32_t expected, std::optional<uint32_t>& read, bool& failed) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        const ParameterReading r = readParameter(link, key);
        failed = r.outcome == ReadOutcome::Failed;
        if (r.outcome != ReadOutcome::Present) return !failed;
        read = r.value;
        if (r.value == expected) return true;
    }
    return false;
}

// The bus address and the password the file gave, as the device holds them
// after the load. False when the device did not answer.
bool verifyIdentity(AppContext& ctx, const std::string& text, Verification& v) {
    struct Item {
        const char* fileKey;
        std::optional<ScannedNumber> (*scan)(std::string_view);
        uint32_t key;
    };
    for (const Item& item : {Item{KEY_ADDR, scanHex, AddressKey}, Item{KEY_PSWD, scanOctal, PasswordKey}}) {
        const auto value = afterKey(text, item.fileKey);
        const auto expected = value ? item.scan(*value) : std::nullopt;
        if (!expected) continue;
        std::optional<uint32_t> read;
        bool failed = false;
        if (identityAgrees(ctx.link, item.key, expected->value, read, failed)) continue;
        if (failed) return false;
        v.identityDiffers.push_back(item.key);
        if (item.key == AddressKey) {
            v.addressInFile = static_cast<uint8_t>(expected->value);
            if (read) v.addressRead = static_cast<uint8_t>(*read);
        }
    }
    return true;
}

// What the report says of the address and password the read-back found
// otherwise; the password's digits are never shown.
std::string identityReport(const LanguageTexts& texts, const Verification& v) {
    std::string out;
    for (uint32_t key : v.identityDiffers)
        out += (key == PasswordKey ? texts.messages.Lookup(PASSWORD_DIFFERS_TEXT)
                                   : fillText(texts.messages.Lookup(ADDRESS_DIFFERS_TEXT),
                                              {v.addressRead ? addressText(*v.addressRead)
                                                             : texts.messages.Lookup(UNKNOWN_VALUE_TEXT),
                                               addressText(v.addressInFile)})) +
               "\n\n";
    return out;
}

// Number, description, the file's value and the device's, in fixed columns,
// under a line of headings.
std::string valueTable(const LanguageTexts& texts, const std::vector<ParameterDifference>& rows) {
    auto message = [&](uint32_t n) { return texts.messages.Lookup(n); };
    auto row = [](const std::string& number, const std::string& description, const std::string& file,
                  const std::string& device) {
        std::string line = column(number, 6) + "  " + column(description, 32) + "  " + column(file, 10) + "  " + device;
        while (!line.empty() && line.back() == ' ') line.pop_back();
        return line + "\n";
    };
    std::string out = row(message(NUMBER_TEXT), message(DESCRIPTION_TEXT), message(FILE_COLUMN_TEXT),
                          message(DEVICE_COLUMN_TEXT));
    for (const ParameterDifference& d : rows)
        out += row(formatParameterNumber(d.number), parameterDescription(texts, d.number),
                   valueText(texts, d.onOff, d.fileValue),
                   d.deviceKnown ? valueText(texts, d.onOff, d.deviceValue) : message(UNKNOWN_VALUE_TEXT));
    return out;
}

}  // namespace

std::vector<std::string> backupFolders(const Settings& settings) {
    std::vector<std::string> folders;
    const std::string install = settings.installDirectory.empty() ? "." : settings.installDirectory;
    // The system's folders are never written, not even when root may.
    if (!settings.sharedInstallation && writableDirectory(install)) folders.push_back(install + "/backups");
    if (!settings.user.data.empty()) folders.push_back(settings.user.data + "/backups");
    return folders;
}

std::string backupBaseName(const std::string& deviceName, uint8_t address, const LocalDate& when) {
    return fileNamePart(deviceName) + formatText("-%02X-%04d%02d%02d-%02d%02d%02d", static_cast<unsigned>(address),
                                                 when.year, when.month, when.day, when.hour, when.minute, when.second);
}

SafeLoad loadParameterFileSafely(AppContext& ctx, const std::string& path) {
    SafeLoad load;
    load.path = path;
    MemoryStream stream;
    // A file that does not verify is refused before the device is touched,
    // and no backup is taken for it.
    if (!readSealedFile(ctx, path, stream)) return load;
    load.text = stream.str();
    load.journal = std::make_shared<JournalEntry>(ctx, JournalOperation::Load, withExtension(path, PARAMETER_EXTENSION));

    auto backUp = [&] {
        if (!ctx.settings.backupBeforeLoad) return true;
        load.accessOpened = true;   // reading the device opens its access
        std::string tried;
        ReadNotes notes;
        load.backupPath = saveBackup(ctx, tried, notes);
        if (!load.backupPath.empty()) {
            load.backupMoving = std::move(notes.moving);
            load.journal->noteBackup(load.backupPath);
            ctx.notifyText(BACKUP_SAVED_TEXT, {load.backupPath});
            return true;
        }
        // A backup that failed on a lost port ends the load: nothing to ask.
        if (reportPortLoss(ctx)) return false;
        // Going on without a backup is the risk: Enter must not take it.
        return ctx.ui().questionDefaultNo(ctx.settings.windowTitle,
                                          fillText(ctx.message(NO_BACKUP_QUESTION), {tried}));
    };
    const LoadRun run = runParameterText(ctx, stream, LoadOptions{backUp, true, path});
    load.loaded = run.loaded;
    load.missing = run.missing;
    load.accessOpened = load.accessOpened || run.accessOpened;
    if (load.journal->active()) recordLoadRun(*load.journal, run);
    load.journal->setOutcome(load.loaded);
    if (run.loaded) return load;
    if (run.written)
        recoverFromStoppedLoad(ctx, load, run);
    else if (run.deviceFailed && !reportPortLoss(ctx))
        ctx.showText(3);
    return load;
}

Verification verifyParameterText(AppContext& ctx, const std::string& text, const std::vector<uint32_t>& missingAtLoad,
                                 const std::vector<ParameterNumber>& knownMoving) {
    DeviceLink& link = ctx.link;
    Verification v;
    auto values = listedValues(text);
    // What the load found missing it told of; it cannot be compared.
    std::erase_if(values, [&](const auto& value) { return contains(missingAtLoad, value.first); });
    v.listed = static_cast<unsigned>(values.size());
    if (!verifyIdentity(ctx, text, v)) {
        v.partial = true;
        return v;
    }
    if (values.empty()) return v;   // nothing to read: access stays as it is
    v.accessTried = true;
    if (!openParameterAccess(ctx, true)) {
        v.partial = true;
        return v;
    }
    ParameterNumber number = 0;
    ctx.showProgressText(&number, link.endKey, VERIFY_CAPTION_TEXT);
    for (const auto& [listed, valueText] : values) {
        number = listed;
        ParameterReading reading = readParameter(link, number);
        if (reading.outcome == ReadOutcome::Failed) {
            v.partial = true;
            break;
        }
        if (reading.outcome != ReadOutcome::Present) {
            v.unavailable.push_back(number);
            continue;
        }
        auto expected = parameterValueOf(valueText, reading.onOff);
        if (!expected) continue;   // the load would have refused the file
        auto same = [&](const ParameterReading& r) {
            return reading.onOff ? (r.value != 0) == (*expected != 0) : r.value == *expected;
        };
        const ParameterReading first = reading;
        if (!same(reading)) reading = readParameter(link, number);
        if (reading.outcome != ReadOutcome::Present) {
            // It differed once and could not be read again: a difference
            // whose device value nobody knows, never an agreement.
            v.differences.push_back({number, reading.onOff, *expected, 0, false});
            if (reading.outcome != ReadOutcome::Failed) continue;
            v.partial = true;
            break;
        }
        ++v.checked;
        if (same(reading))
            ++v.equal;
        else if (movedBetween(first, reading) || (!reading.onOff && contains(knownMoving, number)))
            v.moving.push_back({number, false, *expected, reading.value});
        else
            v.differences.push_back({number, reading.onOff, *expected, reading.value});
    }
    ctx.ui().HideProgress();
    return v;
}

std::string movingReport(const LanguageTexts& texts, const Verification& v) {
    if (v.moving.empty()) return {};
    return fillText(texts.messages.Lookup(MOVING_TEXT), {std::to_string(v.moving.size())}) + "\n\n" +
           valueTable(texts, v.moving);
}

std::string verificationReport(const LanguageTexts& texts, const Verification& v, const std::string& backupPath) {
    auto message = [&](uint32_t n) { return texts.messages.Lookup(n); };
    std::string out;
    if (v.partial)
        out += fillText(message(PARTIAL_TEXT), {std::to_string(v.checked), std::to_string(v.listed)}) + "\n\n";
    out += identityReport(texts, v);
    if (!v.differences.empty()) {
        out += fillText(message(DIFFER_TEXT), {std::to_string(v.differences.size())}) + "\n\n";
        out += valueTable(texts, v.differences) + "\n";
    } else if (v.partial && v.checked > 0) {
        out += message(AGREE_SO_FAR_TEXT) + "\n\n";
    }
    if (!v.moving.empty()) out += movingReport(texts, v) + "\n";
    if (!v.unavailable.empty()) {
        std::string numbers;
        for (ParameterNumber n : v.unavailable) numbers += (numbers.empty() ? "" : ", ") + formatParameterNumber(n);
        out += fillText(message(UNAVAILABLE_TEXT), {numbers}) + "\n\n";
    }
    out += backupPath.empty() ? message(NO_BACKUP_TEXT) : fillText(message(BACKUP_IS_TEXT), {backupPath});
    return out;
}

bool finishLoad(AppContext& ctx, const SafeLoad& load, const std::function<bool()>& restart) {
    std::string result = fillText(ctx.message(LOADED_TEXT), {load.path});
    bool closed = true;
    if (ctx.settings.verifyAfterLoad) {
        Verification v = verifyParameterText(ctx, load.text, load.missing, movingNumbers(load.backupMoving));
        recordVerification(load, v);
        // Reading needs extended access, which only a restart closes. The
        // handshake may have opened access on the device even when it failed
        // as a whole, so a restart follows whenever it ran; without it
        // (nothing to read) the device was left as the load's restart left it.
        closed = !v.accessTried || restart();
        if (!v.clean()) {
            if (!reportPortLoss(ctx))
                ctx.ui().messageTable(ctx.settings.windowTitle, verificationReport(ctx.texts, v, load.backupPath),
                                      MessageIcon::Exclamation);
            return false;
        }
        result = sentence(result) + "\n" + fillText(ctx.message(VERIFIED_TEXT), {std::to_string(v.equal)});
        if (!v.moving.empty()) result = sentence(result) + "\n\n" + movingReport(ctx.texts, v);
    }
    if (!load.backupPath.empty())
        result = sentence(result) + "\n" + fillText(ctx.message(BACKUP_IS_TEXT), {load.backupPath});
    // What the operator asked for is done: told as a result, not in passing.
    showResult(ctx, result, MessageIcon::Information, load.backupPath);
    return closed;
}
