#include "app/AppState.h"

#include "texts/TextTable.h"

namespace {
AppState state;
DeviceLink* currentLink = nullptr;
Operator* currentOperator = nullptr;
FrameState defaultFrame;
FrameState* currentFrame = &defaultFrame;
}  // namespace

AppState& appState() { return state; }

DeviceLink& deviceLink() { return *currentLink; }
void setDeviceLink(DeviceLink* link) { currentLink = link; }
Operator& ui() { return *currentOperator; }
void setOperator(Operator* op) { currentOperator = op; }
FrameState& frame() { return *currentFrame; }
void setFrame(FrameState* f) { currentFrame = f ? f : &defaultFrame; }

void showText(uint32_t n, MessageIcon icon) {
    ui().message(state.windowTitle, MessageTable.Lookup(n), icon);
}

bool askText(uint32_t n) { return ui().question(state.windowTitle, MessageTable.Lookup(n)); }

void showProgressText(uint32_t* counter, uint32_t maximum, uint32_t n) {
    ui().ShowProgress(counter, maximum, MessageTable.Lookup(n));
}
