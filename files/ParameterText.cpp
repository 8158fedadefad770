// Reading the selected device into a parameter text: a first pass with
// normal access finds the parameters every operator may read ("#FREE: "), a
// second with extended access reads every value.
#include "app/AppState.h"
#include "files/Format.h"
#include "files/FreeList.h"
#include "files/LocalDate.h"
#include "files/ParameterFiles.h"
#include "files/ParameterKeys.h"
#include "link/DeviceLink.h"
#include "params/ParameterModel.h"

namespace {

// More steps than the number space holds means the stepping is stuck.
constexpr uint32_t MAX_STEPS = (PARAMETER_CEILING - FIRST_PARAMETER) / 2 + 2;

bool openAccess(DeviceLink& link, bool extended) {
    showProgressText(&link.progressCounter, 10000, 1056);
    int opened = link.OpenParameterAccess(extended);
    ui().HideProgress();
    if (!opened) showText(1057);
    return opened != 0;
}

// First pass: the numbers readable with normal access.
SeekResult collectFreeParameters(DeviceLink& link, FreeList& freeList) {
    ParameterNumber number = 0;
    showProgressText(&number, link.endKey, 32778);
    number = FIRST_PARAMETER;
    SeekResult r = SeekResult::Failed;
    for (uint32_t step = 0; step < MAX_STEPS; ++step) {
        r = seekParameter(link, number, false);
        if (r == SeekResult::Found) freeList.add(number);
        if (r == SeekResult::Failed || r == SeekResult::EndOfTable) break;
        nextParameterNumber(link, number);
        if (number >= link.endKey) break;
    }
    ui().HideProgress();
    return r;
}

void writeIdentity(DeviceLink& link, MemoryStream& stream) {
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
SeekResult writeAllParameters(DeviceLink& link, const FreeList& freeList, MemoryStream& stream) {
    ParameterNumber number = 0;
    showProgressText(&number, link.endKey, 32779);
    stream.setLength(0);
    stream.seek(0);
    writeIdentity(link, stream);
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
        writeParameter(stream, freeList, number, reading);
        nextParameterNumber(link, number);
        if (number >= link.endKey) break;
    }
    ui().HideProgress();
    return r;
}

}  // namespace

bool writeParameterText(MemoryStream& stream) {
    DeviceLink& link = deviceLink();
    FreeList freeList;

    if (!openAccess(link, false)) return false;
    if (collectFreeParameters(link, freeList) == SeekResult::Failed) {
        showText(3);
        return false;
    }
    if (!openAccess(link, true)) return false;
    if (writeAllParameters(link, freeList, stream) == SeekResult::Failed) {
        showText(3);
        return false;
    }
    return true;
}
