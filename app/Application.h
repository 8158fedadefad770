#pragma once
// Start and end of the process without the windows: whether a window system
// is there, the one device link, and the start without a display, where
// only a batch job can run.
#include <memory>
#include <string>

#include "app/BatchJobs.h"

class DeviceLink;

// True when DISPLAY or WAYLAND_DISPLAY names a display and the window system
// Qt will use can be reached: the X server DISPLAY names or the compositor of
// WAYLAND_DISPLAY answers (within a second), or QT_QPA_PLATFORM picks a
// platform that needs neither. A name
// alone is not enough: Qt ends the process when it cannot open the display.
bool displayAvailable();

struct Settings;

// Makes the link's COM port numbers lead to the devices named in the "Port
// Devices" section of the installation's config.ini (see platform/PortDevices.h).
void usePortDevices(DeviceLink& link, const Settings& settings);
// The same, through a port that may be a serial device or a port on the
// network (rfc2217://, tcp://): how the program itself opens its ports.
void useSettingsPorts(DeviceLink& link, const Settings& settings);

// What an interactive start without a display says on standard error.
std::string noDisplayText();

// A start without a display: a batch command line runs its job with the
// standard-error operator and returns the job's exit status; anything else
// prints noDisplayText() and returns 1. No window is ever created.
// port: --port, the serial device of this run (empty: config.ini's);
// choice: the device a load works with.
int runWithoutDisplay(const std::string& commandLine, const std::string& port = {}, const DeviceChoice& choice = {});

// --history: the service history of the installation's settings on standard
// output, its problems on standard error; the exit status of printHistory.
int runHistoryCommand(const std::string& nameOrAddress, bool csv);
// fieldservice --history-sync: sends what waits for the plant's server; the
// exit status of syncPlantHistory.
int runHistorySyncCommand();
