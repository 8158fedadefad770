// Reading the selected device into a parameter text: a first pass with
// normal access finds the parameters every operator may read ("#FREE: "), a
// second with extended access reads every value.
#include <map>
#include <optional>

#include "session/AppContext.h"
#include "session/DeviceSteps.h"
#include "files/Format.h"
#include "files/FreeList.h"
#include "files/LocalDate.h"
#include "files/ParameterFiles.h"
#include "files/ParameterKeys.h"
#include "link/DeviceLink.h"
#include "link/RegisterKeys.h"
#include "params/ConfirmedRead.h"
#include "params/DeviceCommands.h"
#include "params/ParameterModel.h"
#include "texts/TextFill.h"

namespace {

// More steps than the number space holds means the stepping is stuck.
constexpr uint32_t MAX_STEPS = (PARAMETER_CEILING - FIRST_PARAMETER) / 2 + 2;
// "Parameter %s (%s) could not be read reliably: %s reads did not agree ..."
constexpr uint32_t UNSETTLED_TEXT = 33248;
// "The device's %s could not be read reliably ... the parameters were not saved."
constexpr uint32_t IDENTITY_UNSETTLED_TEXT = 0x8260;
constexpr uint32_t PARAMETER_VERSION_WORD = 0x8261;
constexpr uint32_t PASSWORD_WORD = 0x8262;
constexpr uint32_t ADDRESS_WORD = 0x8263;
// "The device's bus address reads %s, but it answers at %s ..."
constexpr uint32_t ADDRESS_DIFFERS_TEXT = 0x8264;

// What the first pass read of each parameter: a device answers a parameter
// in its own width, and a value that lost digits on the way is narrower; a
// value that reads otherwise at the same width seconds later moves slowly
// (operating hours), too slowly for the confirming reads to see.
using Widths = std::map<ParameterNumber, ParameterReading>;

// First pass: the numbers readable with normal access.
// The progress of a pass: with cancel, the window has a Cancel button.
void showPassProgress(AppContext& ctx, ParameterNumber* number, uint32_t caption, std::atomic<bool>* cancel) {
    if (cancel) ctx.ui().ShowCancellableProgress(number, ctx.link.endKey, ctx.message(caption), cancel);
    else ctx.showProgressText(number, ctx.link.endKey, caption);
}

SeekResult collectFreeParameters(AppContext& ctx, FreeList& freeList, Widths& widths, std::atomic<bool>* cancel) {
    DeviceLink& link = ctx.link;
    ParameterNumber number = 0;
    showPassProgress(ctx, &number, 32778, cancel);
    number = FIRST_PARAMETER;
    SeekResult r = SeekResult::Failed;
    for (uint32_t step = 0; step < MAX_STEPS; ++step) {
        if (cancel && *cancel) break;
        ParameterReading reading;
        r = seekParameter(link, number, false, &reading);
        if (r == SeekResult::Found) {
            freeList.add(number);
            widths[number] = reading;
        }
        if (r == SeekResult::Failed || r == SeekResult::EndOfTable) break;
        nextParameterNumber(link, number);
        if (number >= link.endKey) break;
    }
    ctx.ui().HideProgress();
    return r;
}

// What goes into a file's head besides the name and versions, read at the
// save itself with the same care as the parameters: the password and the
// parameter version of the connection may be a garbled read, and a file
// carries them into every device it is loaded into.
struct FileIdentity {
    uint8_t address = 0;
    uint32_t parameterVersion = 0;
    std::optional<uint32_t> password;   // nothing: the device does not give it
};

enum class IdentityRead : uint8_t { Read, NotAvailable, Unreliable, Failed };

// Identity registers answer in as few digits as their value needs, so no
// width tells a read that lost a pair, and a first read that went astray (a
// stray byte in the device shifts a request) may even be wider than the
// truth. Three reads in a row alike decide, as for a parameter of unknown
// width; the registers do not move, and one that does not settle within the
// confirming reads is not put in a file.

IdentityRead readIdentityValue(AppContext& ctx, uint32_t key, uint32_t& value) {
    ParameterReading r = readParameter(ctx.link, key);
    int alike = 1;
    const int needed = ctx.settings.confirmSaveReads ? 3 : 1;
    for (int reads = 1; alike < needed && reads < MAX_CONFIRMING_READS; ++reads) {
        if (r.outcome == ReadOutcome::Failed) break;
        const ParameterReading next = readParameter(ctx.link, key);
        const bool same = next.outcome == r.outcome && next.value == r.value && next.digits == r.digits;
        alike = same ? alike + 1 : 1;
        r = next;
    }
    if (r.outcome == ReadOutcome::Failed) return IdentityRead::Failed;
    if (alike < needed) return IdentityRead::Unreliable;
    if (r.outcome != ReadOutcome::Present) return IdentityRead::NotAvailable;
    value = r.value;
    return IdentityRead::Read;
}

// False after the message naming what could not be read; nothing is saved then.
bool readFileIdentity(AppContext& ctx, FileIdentity& out) {
    DeviceLink& link = ctx.link;
    auto unreliable = [&](uint32_t word) {
        ctx.showMessage(fillText(ctx.message(IDENTITY_UNSETTLED_TEXT), {ctx.message(word)}));
        return false;
    };
    uint32_t value = 0;
    switch (readIdentityValue(ctx, ParameterVersionKey, value)) {
    case IdentityRead::Read: out.parameterVersion = value; break;
    case IdentityRead::Failed: ctx.showText(3); return false;
    default: return unreliable(PARAMETER_VERSION_WORD);
    }
    switch (readIdentityValue(ctx, PasswordKey, value)) {
    case IdentityRead::Read: out.password = value; break;
    // A device that keeps its password to itself: the file holds none, and
    // a load of it leaves the password of the device it goes into as it is.
    case IdentityRead::NotAvailable: out.password.reset(); break;
    case IdentityRead::Failed: ctx.showText(3); return false;
    case IdentityRead::Unreliable: return unreliable(PASSWORD_WORD);
    }
    // The select was answered at the selected address; the register tells
    // whether the device agrees (a device without it is taken at its word).
    out.address = link.selectedAddress;
    switch (readIdentityValue(ctx, AddressKey, value)) {
    case IdentityRead::Read:
        if (value == link.selectedAddress) break;
        ctx.showMessage(fillText(ctx.message(IDENTITY_UNSETTLED_TEXT), {ctx.message(ADDRESS_WORD)}) + "\n" +
                        fillText(ctx.message(ADDRESS_DIFFERS_TEXT),
                                 {addressText(static_cast<uint8_t>(value)), addressText(link.selectedAddress)}));
        return false;
    case IdentityRead::NotAvailable: break;
    case IdentityRead::Failed: ctx.showText(3); return false;
    case IdentityRead::Unreliable: return unreliable(ADDRESS_WORD);
    }
    // What the connection read may have been garbled; the panel shows what
    // the device confirmed.
    link.parameterVersion = out.parameterVersion;
    if (out.password) link.password = *out.password;
    return true;
}

void writeIdentity(AppContext& ctx, const FileIdentity& identity, MemoryStream& stream) {
    DeviceLink& link = ctx.link;
    LocalDate date = currentLocalDate();
    stream.write(formatText("%s%02d-%02d-%04d  ", KEY_DATE, date.day, date.month, date.year));
    stream.write(formatText("\n%s%s  ", KEY_NAME, link.deviceName.c_str()));
    stream.write(formatText("\n%s%X  ", KEY_ADDR, static_cast<unsigned>(identity.address)));
    stream.write(formatText("\n%s%d  ", KEY_VER, static_cast<int>(link.version)));
    stream.write(formatText("\n%s%d  ", KEY_REL, static_cast<int>(link.release)));
    stream.write(formatText("\n%s%d  ", KEY_PVER, static_cast<int>(identity.parameterVersion)));
    if (identity.password) stream.write(formatText("\n%s%o  ", KEY_PSWD, *identity.password));
}

void writeParameter(MemoryStream& stream, const FreeList& freeList, ParameterNumber number,
                    const ParameterReading& reading) {
    if (freeList.contains(number)) stream.write(formatText("\n%s%X", KEY_FREE, number));
    stream.write(formatText("\n%s%X  %s", KEY_CODE, number, KEY_DATA));
    if (reading.onOff)
        stream.write(formatText("%s  ", reading.value ? "ON" : "OFF"));
    else
        stream.write(formatText("%u  ", reading.value));
}

// Second pass: every parameter readable with extended access, with its value.
// With confirming reads on, a value goes into the text only once two reads
// agree, or as its last read when it moves (noted in moving); unsettled
// names the one that did neither (the pass ends there).
SeekResult writeAllParameters(AppContext& ctx, const FileIdentity& identity, const FreeList& freeList,
                              const Widths& widths, MemoryStream& stream, std::optional<ParameterNumber>& unsettled,
                              std::vector<MovingValue>& moving, std::atomic<bool>* cancel) {
    DeviceLink& link = ctx.link;
    ParameterNumber number = 0;
    showPassProgress(ctx, &number, 32779, cancel);
    stream.setLength(0);
    stream.seek(0);
    writeIdentity(ctx, identity, stream);
    number = FIRST_PARAMETER;
    SeekResult r = SeekResult::Failed;
    for (uint32_t step = 0; step < MAX_STEPS; ++step) {
        if (cancel && *cancel) break;
        ParameterReading reading;
        r = seekParameter(link, number, false, &reading);
        if (r == SeekResult::NoneAtFirst) {
            // 0x0100 is not available here; the parameters after it still count.
            nextParameterNumber(link, number);
            continue;
        }
        if (r != SeekResult::Found) break;
        if (ctx.settings.confirmSaveReads && needsConfirming(reading)) {
            const auto known = widths.find(number);
            std::vector<uint32_t> seen;
            Confirmation c = confirmReading(link, number, reading,
                                            known == widths.end() ? 0 : known->second.digits, &seen);
            if (c == Confirmation::Agreed && known != widths.end() && movedBetween(known->second, reading)) {
                c = Confirmation::Moving;
                seen = {known->second.value, reading.value};
            }
            if (c == Confirmation::Moving) moving.push_back({number, std::move(seen)});
            if (c == Confirmation::Failed) {
                r = SeekResult::Failed;
                break;
            }
            if (c == Confirmation::Unsettled) {
                unsettled = number;
                break;
            }
        }
        writeParameter(stream, freeList, number, reading);
        nextParameterNumber(link, number);
        if (number >= link.endKey) break;
    }
    ctx.ui().HideProgress();
    return r;
}

}  // namespace

bool writeParameterText(AppContext& ctx, MemoryStream& stream, ReadNotes* notes, std::atomic<bool>* cancel) {
    FreeList freeList;
    Widths widths;
    FileIdentity identity;
    std::vector<MovingValue> moved;
    if (notes) *notes = ReadNotes{};

    if (!readFileIdentity(ctx, identity)) return false;
    if (!openParameterAccess(ctx, false)) return false;
    // A Cancel is read between parameters; what was read so far is dropped.
    const auto cancelled = [&] {
        if (!cancel || !*cancel) return false;
        if (notes) notes->cancelled = true;
        return true;
    };
    const SeekResult first = collectFreeParameters(ctx, freeList, widths, cancel);
    if (cancelled()) return false;
    if (first == SeekResult::Failed) {
        ctx.showText(3);
        return false;
    }
    if (!openParameterAccess(ctx, true)) return false;
    std::optional<ParameterNumber> unsettled;
    const SeekResult r = writeAllParameters(ctx, identity, freeList, widths, stream, unsettled, moved, cancel);
    if (cancelled()) return false;
    if (unsettled) {
        ctx.showMessage(fillText(ctx.message(UNSETTLED_TEXT),
                                 {formatParameterNumber(*unsettled), parameterDescription(ctx.texts, *unsettled),
                                  std::to_string(MAX_CONFIRMING_READS)}));
        return false;
    }
    if (r == SeekResult::Failed) {
        ctx.showText(3);
        return false;
    }
    if (notes) {
        notes->moving = std::move(moved);
        notes->passwordWithheld = !identity.password;
    }
    return true;
}
