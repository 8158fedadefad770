#include "session/DeviceSteps.h"

#include "link/DeviceLink.h"
#include "session/AppContext.h"

bool openParameterAccess(AppContext& ctx, bool extended) {
    DeviceLink& link = ctx.link;
    // The handshake counts milliseconds of its 10 s into the progress counter.
    ctx.showProgressText(&link.progressCounter, 10000, 1056);
    int opened = link.OpenParameterAccess(extended);
    ctx.ui().HideProgress();
    if (!opened) ctx.showText(1057);
    return opened != 0;
}

int RestartDevice(AppContext& ctx) {
    DeviceLink& link = ctx.link;
    ctx.showProgressText(&link.progressCounter, 10000, 1061);
    int result = link.RestartAndWait();
    ctx.ui().HideProgress();
    return result;
}

int restartAndReport(AppContext& ctx) {
    int result = RestartDevice(ctx);
    if (!result) {
        ctx.showText(1062);
        ctx.window().deviceSelected = false;
        ctx.window().RenderPanel();
    }
    return result;
}
