#pragma once
// Where "COM N" leads on this platform.
#include <string>

#include "platform/SettingsProfile.h"

// The device path of port N: the value of key "com<N>" in section
// "Port Devices" of the settings (com1=/dev/ttyUSB0), else "/dev/ttyS<N-1>".
// Port 0 names no port: the empty string.
std::string portDevicePath(const SettingsProfile& profile, unsigned port);

// Whether path leads to a character device now (a by-id link whose adapter
// is plugged in again, say).
bool devicePathPresent(const std::string& path);
