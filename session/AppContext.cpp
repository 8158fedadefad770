#include "session/AppContext.h"

#include "link/DeviceLink.h"
#include "platform/StderrOperator.h"
#include "session/PortLoss.h"
#include "texts/TextFill.h"

AppContext::AppContext(DeviceLink& deviceLink, Operator* op)
    : link(deviceLink), ownOperator_(std::make_unique<StderrOperator>()) {
    setOperator(op);
}

AppContext::~AppContext() = default;

void AppContext::setOperator(Operator* op) { operator_ = op ? op : ownOperator_.get(); }

void AppContext::attachWindow(Operator* op, FrameState* window) {
    setOperator(op);
    window_ = window ? window : &ownWindow_;
}

void AppContext::showText(uint32_t n, MessageIcon icon) { showMessage(message(n), icon); }

// A failure that comes of a lost port is told as that loss, and only once:
// "device did not answer" would send the operator to the device.
void AppContext::showMessage(const std::string& text, MessageIcon icon) {
    if (icon == MessageIcon::Exclamation && reportPortLoss(*this)) return;
    ui().message(settings.windowTitle, text, icon);
}

void AppContext::showFileText(uint32_t n, const std::string& path) {
    showMessage(message(n) + "\r\n\r\n" + path);
}

// Nothing more is asked of a command whose port is gone: it ends (No).
bool AppContext::askText(uint32_t n) {
    if (reportPortLoss(*this)) return false;
    return ui().question(settings.windowTitle, message(n));
}

void AppContext::notifyText(uint32_t n, std::initializer_list<std::string> values) {
    ui().notify(fillText(message(n), values));
}

void AppContext::showProgressText(uint32_t* counter, uint32_t maximum, uint32_t n) {
    ui().ShowProgress(counter, maximum, message(n));
}
