#include "platform/PortDevices.h"

#include <sys/stat.h>

#include "platform/Profile.h"

std::string portDevicePath(const std::string& profilePath, unsigned port) {
    if (port == 0) return {};
    std::string fallback = "/dev/ttyS" + std::to_string(port - 1);
    std::string path = profileString(profilePath, "Port Devices", "com" + std::to_string(port), "");
    return path.empty() ? fallback : path;
}

bool devicePathPresent(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
}
