#include "session/PortLoss.h"

#include "link/DeviceLink.h"
#include "platform/PortDevices.h"
#include "session/AppContext.h"
#include "texts/TextFill.h"

namespace {
constexpr uint32_t PORT_LOST_TEXT = 0x811B;
constexpr uint32_t PORT_LOST_STATUS_TEXT = 0x811C;
constexpr uint32_t PORT_BACK_QUESTION = 0x811D;
}  // namespace

bool reportPortLoss(AppContext& ctx) {
    FrameState& frame = ctx.window();
    if (frame.portLossTold) return true;
    if (!ctx.link.portLost() || !frame.lostPort.empty()) return false;
    frame.lostPort = ctx.link.portPath();
    frame.portLossTold = true;
    frame.deviceSelected = false;
    ctx.ui().message(ctx.settings.windowTitle, fillText(ctx.message(PORT_LOST_TEXT), {frame.lostPort}),
                     MessageIcon::Exclamation);
    frame.RenderPanel();
    return true;
}

std::string lostPortStatus(const AppContext& ctx) {
    return fillText(ctx.message(PORT_LOST_STATUS_TEXT), {ctx.window().lostPort});
}

bool lostPortIsBack(const AppContext& ctx) {
    const std::string& path = ctx.window().lostPort;
    return !path.empty() && devicePathPresent(path);
}

bool askReconnect(AppContext& ctx) {
    return ctx.ui().question(ctx.settings.windowTitle,
                             fillText(ctx.message(PORT_BACK_QUESTION), {ctx.window().lostPort}));
}

void forgetPortLoss(AppContext& ctx) { ctx.window().lostPort.clear(); }
