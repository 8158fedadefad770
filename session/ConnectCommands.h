#pragma once
// Connecting to one device on the bus and disconnecting again: the window
// commands Connect and Disconnect without their widgets. Messages and the
// progress window go through the operator interface; the list of devices is
// shown by a DeviceChooser (the connect dialog, or a test's stand-in).
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/ByteTransport.h"

class AppContext;

// The operator text for a port that would not open, naming the port (and
// the group or program concerned where known).
std::string portProblemText(const AppContext& ctx, const PortOpenFailure& failure);
// Why path is no network address a port can use, naming it: a user name in
// it and an overlong host name are told as such, anything else by the rule.
std::string badNetworkAddressText(const AppContext& ctx, const std::string& path);

// After an Open: when it failed on the port itself, shows why and returns
// true; false when the port is open or nothing was tried.
bool showPortProblem(AppContext& ctx);

// The connect dialog as the procedure sees it.
class DeviceChooser {
public:
    virtual ~DeviceChooser() = default;
    // Shows the bus list, first line selected, and lets the operator press OK
    // until tryLine accepts the chosen line (0-based; -1 when none is chosen)
    // or the operator cancels. True when a line was accepted.
    virtual bool choose(const std::vector<std::string>& entries,
                        const std::function<bool(int line)>& tryLine) = 0;
};

// Scans the bus under a progress window (maximum 64, text 769) with a Cancel
// button and returns the bus list; text 19 when nothing answered. A Cancel
// ends the scan after the address being asked: *stopped (when given) is then
// true and the list holds the devices found so far, without text 19.
std::vector<std::string> scanForDevices(AppContext& ctx, bool* stopped = nullptr);

// OK of the connect dialog for a line of the bus list: selects the device and
// reads its identity under a progress window (text 770). deviceSelected is
// set only when the identity was taken, so the panel never shows the
// previous device's image. Text 3 on failure.
bool selectListedDevice(AppContext& ctx, int line);

// Command 40004: opens the port (showing why when it cannot), scans, connects at once when exactly one
// device answered, otherwise lets the chooser pick (also the one device of a
// scan the operator stopped: they may have wanted another); renders the panel after.
// True when a device is now selected and identified.
bool connectCommand(AppContext& ctx, uint8_t serialPort, DeviceChooser& chooser);

// Command 40005: releases the selected device (text 18 when none), closes
// the port and renders the panel.
void disconnectCommand(AppContext& ctx);
