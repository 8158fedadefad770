#pragma once
// The main window's commands: ids, captions and hints by text number,
// accelerators, the rule that enables each one, and the menu layout with the
// completion of the second menu. Plain data, so the rules can be checked
// without a screen.
#include <cstdint>
#include <string>
#include <vector>

enum CommandId : uint32_t {
    CMD_QUIT = 40001,
    CMD_CREDITS = 40002,
    CMD_OPTIONS = 40003,
    CMD_CONNECT = 40004,
    CMD_DISCONNECT = 40005,
    CMD_PARAMETERS = 40007,
    CMD_PASSWORD = 40008,
    CMD_SPECIAL_PARAMETERS = 40009,
    CMD_SAVE = 40011,
    CMD_LOAD = 40012,
    CMD_PASSWORD_ACCESS = 40013,
    CMD_RESTART = 40015,
    CMD_ADDRESS = 40016,
    CMD_FILE_VIEWER = 40017,
    CMD_COMPARE_FILES = 40040,
    CMD_COMPARE_DEVICE = 40041,
    CMD_PARAMETER_TABLE = 40042,
    CMD_HISTORY = 40043,
    CMD_BUS_MONITOR = 40030,
    CMD_HELP_CONTENTS = 57667,
    CMD_HELP_CONTEXT = 57670,
};

// Menu items use 0 for a separator.
inline constexpr uint32_t MENU_SEPARATOR = 0;
// The status text while no item is highlighted.
inline constexpr uint32_t IDLE_HINT_TEXT = 32896;
// The help context F1 opens.
inline constexpr const char* HELP_CONTEXT_ANCHOR = "10001";

enum class EnableRule { Always, WhenSelected, WhenNotSelected, Never };
// What the rules look at besides the rule itself.

struct MenuCommand {
    uint32_t id;
    const char* key;        // placeholder caption before the loader runs; "" when added by it
    uint32_t captionText;   // 0: no menu item (F1)
    uint32_t hintText;
    const char* accelerator; // "" when none; "Ctrl+C" style otherwise
    EnableRule rule;
    bool clearsIdle;        // the status poll pauses while the command runs
    bool notWhileBusy = false;  // disabled while another command runs
};

const std::vector<MenuCommand>& menuCommands();
// The command with this id, or nullptr.
const MenuCommand* findMenuCommand(uint32_t id);
// Whether the command may run now; unknown ids never run. A command marked
// notWhileBusy is also off while another command runs.
bool commandEnabled(uint32_t id, bool deviceSelected, bool commandRunning = false);
// The status hint for a highlighted id; IDLE_HINT_TEXT for anything else.
uint32_t hintTextFor(uint32_t id);

// The three top-level menus with their caption texts, as the window is built,
// before the installation loader completes the second one.
struct MenuLayout {
    const char* key;        // placeholder caption before the loader runs
    uint32_t captionText;
    std::vector<uint32_t> items;
};
std::vector<MenuLayout> initialMenus();

// Completes the second menu: removes 40017, 40013, 40015 and the table and
// comparison commands wherever they are, then a trailing separator, inserts
// 40017 at the top and appends a separator, 40013 and 40015, then a
// separator, the parameter table, the two comparisons and the history. Running it again
// changes nothing.
void completeSecondMenu(std::vector<uint32_t>& items);
