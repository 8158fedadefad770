#include "app/MenuTable.h"

#include <algorithm>

const std::vector<MenuCommand>& menuCommands() {
    static const std::vector<MenuCommand> commands = {
        {CMD_CONNECT, "connectitem", 132, 32900, "Ctrl+C", EnableRule::WhenNotSelected, false},
        {CMD_DISCONNECT, "disconnectitem", 133, 32901, "Ctrl+D", EnableRule::WhenSelected, false},
        {CMD_OPTIONS, "optionitem", 131, 32899, "Ctrl+O", EnableRule::Always, false},
        {CMD_QUIT, "quititem", 129, 32897, "Ctrl+Q", EnableRule::Always, false},
        {CMD_FILE_VIEWER, "", 155, 32913, "", EnableRule::Always, true},
        {CMD_PARAMETERS, "parchangeitem", 145, 32902, "Ctrl+M", EnableRule::Always, true},
        {CMD_SAVE, "saveitem", 150, 32903, "Ctrl+S", EnableRule::WhenSelected, true},
        {CMD_LOAD, "loaditem", 151, 32904, "Ctrl+L", EnableRule::WhenSelected, true},
        {CMD_PASSWORD, "passworditem", 146, 32905, "", EnableRule::WhenSelected, false},
        {CMD_SPECIAL_PARAMETERS, "sparchangeitem", 147, 32906, "", EnableRule::Never, false},
        {CMD_ADDRESS, "addressitem", 154, 32912, "", EnableRule::WhenSelected, true},
        {CMD_PASSWORD_ACCESS, "", 148, 32907, "", EnableRule::WhenSelected, true},
        {CMD_RESTART, "", 153, 32911, "", EnableRule::WhenSelected, true},
        {CMD_PARAMETER_TABLE, "", 33106, 33109, "", EnableRule::WhenSelected, true, true},
        {CMD_COMPARE_DEVICE, "", 33105, 33108, "", EnableRule::WhenSelected, true, true},
        {CMD_COMPARE_FILES, "", 33104, 33107, "", EnableRule::Always, true, true},
        {CMD_HISTORY, "", 33328, 33329, "", EnableRule::Always, true, true},
        {CMD_BUS_MONITOR, "busmonitoritem", 33088, 33089, "", EnableRule::Always, false},
        {CMD_HELP_CONTENTS, "helpitem", 161, 32910, "", EnableRule::Always, false},
        {CMD_CREDITS, "credititem", 130, 32898, "Ctrl+I", EnableRule::Always, false},
        {CMD_HELP_CONTEXT, "", 0, IDLE_HINT_TEXT, "F1", EnableRule::Always, false},
    };
    return commands;
}

const MenuCommand* findMenuCommand(uint32_t id) {
    for (const MenuCommand& c : menuCommands()) {
        if (c.id == id) return &c;
    }
    return nullptr;
}

bool commandEnabled(uint32_t id, bool deviceSelected, bool commandRunning) {
    const MenuCommand* c = findMenuCommand(id);
    if (!c) return false;
    if (c->notWhileBusy && commandRunning) return false;
    switch (c->rule) {
    case EnableRule::Always: return true;
    case EnableRule::WhenSelected: return deviceSelected;
    case EnableRule::WhenNotSelected: return !deviceSelected;
    case EnableRule::Never: return false;
    }
    return false;
}

uint32_t hintTextFor(uint32_t id) {
    const MenuCommand* c = findMenuCommand(id);
    return c ? c->hintText : IDLE_HINT_TEXT;
}

std::vector<MenuLayout> initialMenus() {
    const uint32_t sep = MENU_SEPARATOR;
    return {
        {"popmenu0", 128, {CMD_CONNECT, CMD_DISCONNECT, sep, CMD_OPTIONS, sep, CMD_QUIT}},
        {"popmenu1", 144, {CMD_PARAMETERS, CMD_SAVE, CMD_LOAD, sep, CMD_PASSWORD, CMD_SPECIAL_PARAMETERS, sep,
               CMD_ADDRESS, sep, CMD_BUS_MONITOR}},
        {"helpmenu", 160, {CMD_HELP_CONTENTS, CMD_CREDITS}},
    };
}

void completeSecondMenu(std::vector<uint32_t>& items) {
    // The table and the comparisons go last, behind a separator of their
    // own, which goes with them.
    auto tableGroup = [](uint32_t id) {
        return id == CMD_PARAMETER_TABLE || id == CMD_COMPARE_DEVICE || id == CMD_COMPARE_FILES || id == CMD_HISTORY;
    };
    if (std::any_of(items.begin(), items.end(), tableGroup)) {
        items.erase(std::remove_if(items.begin(), items.end(), tableGroup), items.end());
        if (!items.empty() && items.back() == MENU_SEPARATOR) items.pop_back();
    }
    auto added = [](uint32_t id) {
        return id == CMD_FILE_VIEWER || id == CMD_PASSWORD_ACCESS || id == CMD_RESTART;
    };
    items.erase(std::remove_if(items.begin(), items.end(), added), items.end());
    if (!items.empty() && items.back() == MENU_SEPARATOR) items.pop_back();
    items.insert(items.begin(), CMD_FILE_VIEWER);
    items.push_back(MENU_SEPARATOR);
    items.push_back(CMD_PASSWORD_ACCESS);
    items.push_back(CMD_RESTART);
    items.push_back(MENU_SEPARATOR);
    items.push_back(CMD_PARAMETER_TABLE);
    items.push_back(CMD_COMPARE_DEVICE);
    items.push_back(CMD_COMPARE_FILES);
    items.push_back(CMD_HISTORY);
}
