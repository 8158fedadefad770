#include "session/WindowPlaces.h"

#include <filesystem>

#include "platform/Profile.h"
#include "session/AppContext.h"

namespace {
constexpr const char* STATE_FILE = "/state.ini";
constexpr const char* WINDOWS_SECTION = "Windows";
}  // namespace

std::string windowPlace(const Settings& settings, const std::string& key) {
    if (settings.user.state.empty()) return {};
    return profileString(settings.user.state + STATE_FILE, WINDOWS_SECTION, key, "");
}

void rememberWindowPlace(const Settings& settings, const std::string& key, const std::string& value) {
    if (settings.user.state.empty()) return;
    std::error_code ec;
    std::filesystem::create_directories(settings.user.state, ec);
    writeProfileString(settings.user.state + STATE_FILE, WINDOWS_SECTION, key, value);
}
