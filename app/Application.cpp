#include "app/Application.h"

#include <cstdlib>
#include <iostream>

#include "session/AppContext.h"
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

void usePortDevices(DeviceLink& link, const Settings& settings) {
    // The profile path is read at each Open, so a port mapping changed in
    // config.ini counts from the next Connect on.
    link.setPortResolver([&settings](unsigned port) { return portDevicePath(settings.profilePath, port); });
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
    // The link goes last: its destruction closes the port.
    DeviceLink link;
    StderrOperator stderrOperator;
    AppContext ctx(link, &stderrOperator);
    if (!InitInstallDirectory(ctx.settings)) return 1;
    usePortDevices(link, ctx.settings);
    // The job runs whatever the loader found; its own messages told of a failure.
    loadInstallationCore(ctx);
    return runBatchJob(ctx, commandLine);
}
