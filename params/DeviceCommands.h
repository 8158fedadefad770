#pragma once
// The device commands: change the password (40008, 40013), change the bus
// address (40016) and restart the device (40015). The dialogs are reached
// through callbacks, so the commands run the same with a window or a test.
//
// Each works on the context it is given: its link, operator and window flags.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

class AppContext;

// Shows the password dialog with the current password; the value entered, or
// nothing when the operator cancelled.
using PasswordPrompt = std::function<std::optional<uint32_t>(uint32_t current)>;
// Shows the address dialog with the address to start at; the address shown
// when the operator pressed OK, or nothing after Cancel.
using AddressPrompt = std::function<std::optional<uint8_t>(uint8_t start)>;

// The password field's text for a password: "%u", empty for 0.
std::string passwordFieldText(uint32_t password);
// The password field read as an unsigned decimal number; empty text or text
// that does not parse gives 0, and a number too large for 32 bits saturates.
uint32_t passwordFromText(const std::string& text);
// The most digits the operator may type into the password field.
inline constexpr size_t PASSWORD_TYPED_DIGITS = 5;
// Whether the password field may hold text: digits only, at most
// PASSWORD_TYPED_DIGITS of them. The text the field was opened with is
// always allowed: a device may hold a longer password than the operator can
// type, and it is shown whole so that OK gives it back unchanged.
bool passwordFieldAccepts(const std::string& text, const std::string& opened);
// The address label's text: "%02x".
std::string addressText(uint8_t address);

void changePasswordCommand(AppContext& ctx, bool command40013, const PasswordPrompt& prompt);
void changeAddressCommand(AppContext& ctx, const AddressPrompt& prompt);
void restartCommand(AppContext& ctx);
