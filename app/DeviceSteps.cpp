#include "app/DeviceSteps.h"

#include "app/AppState.h"
#include "link/DeviceLink.h"

int RestartDevice() {
    DeviceLink& link = deviceLink();
    showProgressText(&link.progressCounter, 10000, 1061);
    int result = link.RestartAndWait();
    ui().HideProgress();
    return result;
}

int restartAndReport() {
    int result = RestartDevice();
    if (!result) {
        showText(1062);
        frame().deviceSelected = false;
        frame().RenderPanel();
    }
    return result;
}
