#include "platform/PortDevices.h"

#include <sys/stat.h>


std::string portDevicePath(const SettingsProfile& profile, unsigned port) {
    if (port == 0) return {};
    std::string fallback = "/dev/ttyS" + std::to_string(port - 1);
    std::string path = profile.readString("Port Devices", "com" + std::to_string(port), "");
    return path.empty() ? fallback : path;
}

bool devicePathPresent(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
}
