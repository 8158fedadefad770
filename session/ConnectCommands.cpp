#include "session/ConnectCommands.h"

#include "link/DeviceLink.h"
#include "session/AppContext.h"

namespace {
constexpr uint32_t DEVICE_FAILED_TEXT = 3;
constexpr uint32_t NOTHING_SELECTED_TEXT = 18;
constexpr uint32_t NO_DEVICE_TEXT = 19;
constexpr uint32_t SCAN_CAPTION_TEXT = 769;
constexpr uint32_t IDENTITY_CAPTION_TEXT = 770;
constexpr uint32_t BUS_ADDRESSES = 64;
}  // namespace

std::vector<std::string> scanForDevices(AppContext& ctx) {
    DeviceLink& link = ctx.link;
    ctx.showProgressText(&link.progressCounter, BUS_ADDRESSES, SCAN_CAPTION_TEXT);
    const int found = link.ScanBus();
    ctx.ui().HideProgress();

    std::vector<std::string> entries;
    for (int i = 1; i <= found; ++i) entries.push_back(link.BusEntry(static_cast<unsigned>(i)));
    if (entries.empty()) ctx.showText(NO_DEVICE_TEXT);
    return entries;
}

bool selectListedDevice(AppContext& ctx, int line) {
    DeviceLink& link = ctx.link;
    FrameState& frame = ctx.window();
    bool identified = false;
    if (line >= 0) {
        frame.deviceSelected = false;
        const uint8_t address = link.BusEntryAddress(static_cast<unsigned>(line) + 1);
        if (link.Select(address)) {
            // The counting pass leaves the number of registers the full read takes.
            link.ReadIdentity(false);
            ctx.showProgressText(&link.progressCounter, link.progressCounter, IDENTITY_CAPTION_TEXT);
            identified = link.ReadIdentity(true) != 0;
            ctx.ui().HideProgress();
            frame.deviceSelected = identified;
        }
    }
    if (!identified) ctx.showText(DEVICE_FAILED_TEXT);
    return identified;
}

bool connectCommand(AppContext& ctx, uint8_t serialPort, DeviceChooser& chooser) {
    DeviceLink& link = ctx.link;
    FrameState& frame = ctx.window();
    // An open port is not reopened; the scan then runs on it.
    link.Open(serialPort);
    const std::vector<std::string> entries = scanForDevices(ctx);
    if (!entries.empty()) {
        auto tryLine = [&](int line) { return selectListedDevice(ctx, line); };
        // With exactly one device, OK is pressed at once; a failure leaves the
        // list up for another try.
        if (!(entries.size() == 1 && tryLine(0))) chooser.choose(entries, tryLine);
    }
    frame.RenderPanel();
    return frame.deviceSelected;
}

void disconnectCommand(AppContext& ctx) {
    DeviceLink& link = ctx.link;
    FrameState& frame = ctx.window();
    if (frame.deviceSelected) {
        frame.deviceSelected = false;
        link.Deselect();
        frame.RenderPanel();
    } else {
        ctx.showText(NOTHING_SELECTED_TEXT);
    }
    link.Close();
}
