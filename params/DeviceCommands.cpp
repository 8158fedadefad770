#include "params/DeviceCommands.h"

#include <cstdio>
#include <limits>

#include "session/AppContext.h"
#include "session/DeviceSteps.h"
#include "session/JournalEntry.h"
#include "link/DeviceLink.h"
#include "params/NumberText.h"
#include "texts/TextFill.h"

namespace {
constexpr uint32_t ADDRESS_TAKEN_QUESTION = 33027;
constexpr uint32_t PASSWORD_CHANGED_TEXT = 33031;
constexpr uint32_t ADDRESS_CHANGED_TEXT = 33032;

// Whether another device answers a select of address now: a scan list may
// be old (a device added, moved or taken off since), the bus is not. The
// selected device is released for the question and selected again after it;
// reselected tells whether it answered.
bool addressAnswers(DeviceLink& link, uint8_t address, bool& reselected) {
    const uint8_t own = link.selectedAddress;
    reselected = true;
    if ((address & 0x3F) == own) return false;
    const uint32_t endKey = link.endKey;   // a select starts it afresh; it is still this device's
    link.Deselect();
    const bool answered = link.Select(address) != 0;
    link.Deselect();
    reselected = link.Select(own) != 0;
    link.endKey = endKey;
    return answered;
}
}  // namespace

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

bool passwordFieldAccepts(const std::string& text, const std::string& opened) {
    if (text == opened) return true;
    if (text.size() > PASSWORD_TYPED_DIGITS) return false;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

std::string addressText(uint8_t address) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "%02x", address);
    return buffer;
}

void changePasswordCommand(AppContext& ctx, bool command40013, const PasswordPrompt& prompt) {
    // 40008 leaves the poll running while its dialog is open; 40013 pauses it.
    if (command40013) ctx.window().idle = false;
    DeviceLink& link = ctx.link;
    const uint32_t current = link.password;
    std::optional<uint32_t> entered = prompt ? prompt(current) : std::nullopt;
    if (entered && *entered != current) {
        // Only that it changed is kept: never a password, old or new.
        JournalEntry entry(ctx, JournalOperation::PasswordChange);
        const bool written = link.WritePassword(*entered) != 0;
        entry.finish(written);
        if (written) {
            ctx.showText(1553);
            ctx.notifyText(PASSWORD_CHANGED_TEXT, {});
            ctx.window().RenderPanel();
        } else {
            ctx.showText(3);
        }
        // Even a failed write may have reached the device; the restart makes
        // it take over whatever it holds now.
        restartAndReport(ctx);
    }
    if (command40013) ctx.window().idle = true;
}

void changeAddressCommand(AppContext& ctx, const AddressPrompt& prompt) {
    ctx.window().idle = false;
    DeviceLink& link = ctx.link;
    std::optional<uint8_t> chosen = prompt ? prompt(link.Address()) : std::nullopt;
    // Two devices at one address both stop answering: an address another
    // device answers at is written only when the operator says so.
    bool reselected = true;
    const bool taken = chosen && addressAnswers(link, *chosen, reselected);
    if (!reselected) {
        // The device did not come back after the question: nothing is written.
        ctx.showText(3);
        chosen.reset();
    }
    if (taken && chosen &&
        !ctx.ui().question(ctx.settings.windowTitle,
                           fillText(ctx.message(ADDRESS_TAKEN_QUESTION), {addressText(*chosen)})))
        chosen.reset();
    // Written also when unchanged: the operator confirmed it.
    if (chosen) {
        JournalEntry entry(ctx, JournalOperation::AddressChange);
        entry.record().detail = addressText(link.selectedAddress) + " > " + addressText(*chosen);
        const bool written = link.WriteAddress(*chosen) != 0;
        entry.finish(written);
        if (written)
            ctx.notifyText(ADDRESS_CHANGED_TEXT, {addressText(*chosen)});
        else
            ctx.showText(3);
    }
    ctx.window().RenderPanel();
    ctx.window().idle = true;
}

void restartCommand(AppContext& ctx) {
    ctx.window().idle = false;
    if (ctx.askText(21)) {
        JournalEntry entry(ctx, JournalOperation::Restart);
        entry.finish(restartAndReport(ctx) != 0);
        ctx.window().RenderPanel();
    }
    ctx.window().idle = true;
}
