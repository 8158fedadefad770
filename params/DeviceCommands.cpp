#include "params/DeviceCommands.h"

#include <cstdio>
#include <limits>

#include "app/AppState.h"
#include "app/DeviceSteps.h"
#include "link/DeviceLink.h"
#include "params/NumberText.h"

std::string passwordFieldText(uint32_t password) {
    if (password == 0) return {};
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%u", password);
    return buffer;
}

uint32_t passwordFromText(const std::string& text) {
    std::optional<ScannedDecimal> scanned = scanDecimalNumber(text);
    if (!scanned || scanned->negative) return 0;
    if (scanned->magnitude > std::numeric_limits<uint32_t>::max())
        return std::numeric_limits<uint32_t>::max();
    return static_cast<uint32_t>(scanned->magnitude);
}

std::string addressText(uint8_t address) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "%02x", address);
    return buffer;
}

void changePasswordCommand(bool command40013, const PasswordPrompt& prompt) {
    // 40008 leaves the poll running while its dialog is open; 40013 pauses it.
    if (command40013) frame().idle = false;
    DeviceLink& link = deviceLink();
    const uint32_t current = link.password;
    std::optional<uint32_t> entered = prompt ? prompt(current) : std::nullopt;
    if (entered && *entered != current) {
        if (link.WritePassword(*entered)) {
            showText(1553);
            frame().RenderPanel();
        } else {
            showText(3);
        }
        // Even a failed write may have reached the device; the restart makes
        // it take over whatever it holds now.
        restartAndReport();
    }
    if (command40013) frame().idle = true;
}

void changeAddressCommand(const AddressPrompt& prompt) {
    frame().idle = false;
    DeviceLink& link = deviceLink();
    std::optional<uint8_t> chosen = prompt ? prompt(link.Address()) : std::nullopt;
    // Written also when unchanged: the operator confirmed it.
    if (chosen && !link.WriteAddress(*chosen)) showText(3);
    frame().RenderPanel();
    frame().idle = true;
}

void restartCommand() {
    frame().idle = false;
    if (askText(21)) {
        restartAndReport();
        frame().RenderPanel();
    }
    frame().idle = true;
}
