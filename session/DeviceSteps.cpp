#include "session/DeviceSteps.h"

#include "link/DeviceLink.h"
#include "session/AppContext.h"

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
