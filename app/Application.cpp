#include "app/Application.h"

#include <cstdlib>
#include <iostream>

#include "app/AppState.h"
#include "app/BatchJobs.h"
#include "app/Installation.h"
#include "link/DeviceLink.h"
#include "platform/PortDevices.h"
#include "platform/StderrOperator.h"

namespace {
bool named(const char* variable) {
    const char* value = std::getenv(variable);
    return value && *value;
}
}  // namespace

bool displayAvailable() { return named("DISPLAY") || named("WAYLAND_DISPLAY"); }

std::unique_ptr<DeviceLink> createDeviceLink() {
    auto link = std::make_unique<DeviceLink>();
    // The profile path is read at each Open, so a port mapping changed in
    // config.ini counts from the next Connect on.
    link->setPortResolver([](unsigned port) { return portDevicePath(appState().profilePath, port); });
    return link;
}

std::string noDisplayText() {
    return "fieldservice: no display (neither DISPLAY nor WAYLAND_DISPLAY is set); the program "
           "needs a window system. Only the batch jobs \"/c <files>\" and \"/l <file>\" run without one.";
}

int runWithoutDisplay(const std::string& commandLine) {
    if (!hasBatchOption(commandLine)) {
        std::cerr << noDisplayText() << '\n';
        return 1;
    }
    if (!InitInstallDirectory()) return 1;
    std::unique_ptr<DeviceLink> link = createDeviceLink();
    StderrOperator stderrOperator;
    setDeviceLink(link.get());
    setOperator(&stderrOperator);
    // The job runs whatever the loader found; its own messages told of a failure.
    loadInstallationCore();
    const int status = runBatchJob(commandLine);
    // The link goes last: its destruction closes the port.
    link.reset();
    setDeviceLink(nullptr);
    setOperator(nullptr);
    return status;
}
