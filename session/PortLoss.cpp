#include "session/PortLoss.h"

#include "link/DeviceLink.h"
#include "platform/NetworkPort.h"
#include "platform/PortDevices.h"
#include "session/AppContext.h"
#include "texts/TextFill.h"

namespace {
constexpr uint32_t PORT_LOST_TEXT = 0x811B;
constexpr uint32_t PORT_LOST_STATUS_TEXT = 0x811C;
constexpr uint32_t PORT_BACK_QUESTION = 0x811D;
constexpr uint32_t NETWORK_PORT_LOST_TEXT = 0x81F6;
}  // namespace

bool reportPortLoss(AppContext& ctx) {
    FrameState& frame = ctx.window();
    if (frame.portLossTold) return true;
    if (!ctx.link.portLost() || !frame.lostPort.empty()) return false;
    frame.lostPort = ctx.link.portPath();
    frame.portLossTold = true;
    frame.deviceSelected = false;
    const uint32_t lostText = isNetworkPortPath(frame.lostPort) ? NETWORK_PORT_LOST_TEXT : PORT_LOST_TEXT;
    ctx.ui().message(ctx.settings.windowTitle, fillText(ctx.message(lostText), {frame.lostPort}),
                     MessageIcon::Exclamation);
    frame.RenderPanel();
    return true;
}

std::string lostPortStatus(const AppContext& ctx) {
    return fillText(ctx.message(PORT_LOST_STATUS_TEXT), {ctx.window().lostPort});
}

bool lostPortIsBack(const AppContext& ctx) {
    // A server cannot be watched for without connecting to it: the
    // operator connects again when it is back.
    const std::string& path = ctx.window().lostPort;
    return !path.empty() && !isNetworkPortPath(path) && devicePathPresent(path);
}

bool askReconnect(AppContext& ctx) {
    return ctx.ui().question(ctx.settings.windowTitle,
                             fillText(ctx.message(PORT_BACK_QUESTION), {ctx.window().lostPort}));
}

void forgetPortLoss(AppContext& ctx) { ctx.window().lostPort.clear(); }
