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
#include "params/ConfirmedRead.h"
#include "params/ParameterModel.h"
#include "texts/TextFill.h"

namespace {

// More steps than the number space holds means the stepping is stuck.
constexpr uint32_t MAX_STEPS = (PARAMETER_CEILING - FIRST_PARAMETER) / 2 + 2;
// "Parameter %s (%s) could not be read reliably: %s reads did not agree ..."
constexpr uint32_t UNSETTLED_TEXT = 33248;

// The width each parameter answered in so far: a device answers a parameter
// in its own width, and a value that lost digits on the way is narrower.
using Widths = std::map<ParameterNumber, uint8_t>;

// First pass: the numbers readable with normal access.
SeekResult collectFreeParameters(AppContext& ctx, FreeList& freeList, Widths& widths) {
    DeviceLink& link = ctx.link;
    ParameterNumber number = 0;
    ctx.showProgressText(&number, link.endKey, 32778);
    number = FIRST_PARAMETER;
    SeekResult r = SeekResult::Failed;
    for (uint32_t step = 0; step < MAX_STEPS; ++step) {
        ParameterReading reading;
        r = seekParameter(link, number, false, &reading);
        if (r == SeekResult::Found) {
            freeList.add(number);
            widths[number] = reading.digits;
        }
        if (r == SeekResult::Failed || r == SeekResult::EndOfTable) break;
        nextParameterNumber(link, number);
        if (number >= link.endKey) break;
    }
    ctx.ui().HideProgress();
    return r;
}

void writeIdentity(AppContext& ctx, MemoryStream& stream) {
    DeviceLink& link = ctx.link;
    LocalDate date = currentLocalDate();
    stream.write(formatText("%s%02d-%02d-%04d  ", KEY_DATE, date.day, date.month, date.year));
    stream.write(formatText("\n%s%s  ", KEY_NAME, link.deviceName.c_str()));
    stream.write(formatText("\n%s%X  ", KEY_ADDR, static_cast<unsigned>(link.selectedAddress)));
    stream.write(formatText("\n%s%d  ", KEY_VER, static_cast<int>(link.version)));
    stream.write(formatText("\n%s%d  ", KEY_REL, static_cast<int>(link.release)));
    stream.write(formatText("\n%s%d  ", KEY_PVER, static_cast<int>(link.parameterVersion)));
    stream.write(formatText("\n%s%o  ", KEY_PSWD, link.password));
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
// agree; unsettled names the one that never did (the pass ends there).
SeekResult writeAllParameters(AppContext& ctx, const FreeList& freeList, const Widths& widths,
                              MemoryStream& stream, std::optional<ParameterNumber>& unsettled) {
    DeviceLink& link = ctx.link;
    ParameterNumber number = 0;
    ctx.showProgressText(&number, link.endKey, 32779);
    stream.setLength(0);
    stream.seek(0);
    writeIdentity(ctx, stream);
    number = FIRST_PARAMETER;
    SeekResult r = SeekResult::Failed;
    for (uint32_t step = 0; step < MAX_STEPS; ++step) {
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
            Confirmation c = confirmReading(link, number, reading, known == widths.end() ? 0 : known->second);
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

bool writeParameterText(AppContext& ctx, MemoryStream& stream) {
    FreeList freeList;
    Widths widths;

    if (!openParameterAccess(ctx, false)) return false;
    if (collectFreeParameters(ctx, freeList, widths) == SeekResult::Failed) {
        ctx.showText(3);
        return false;
    }
    if (!openParameterAccess(ctx, true)) return false;
    std::optional<ParameterNumber> unsettled;
    const SeekResult r = writeAllParameters(ctx, freeList, widths, stream, unsettled);
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
    return true;
}
