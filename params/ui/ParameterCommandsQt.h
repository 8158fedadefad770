#pragma once
// The main window's entry points for the parameter dialog and the device
// commands. Each runs the whole command: idle flag, dialog, device writes,
// restart, messages and the panel.

#include "widgets/HelpButtonQt.h"

class AppContext;
class QWidget;

void runParameterDialog(AppContext& ctx, QWidget* parent, int mode);         // 40007 with a device (mode 0), 40009 (mode -1)
void runPasswordCommand(AppContext& ctx, QWidget* parent, bool command40013);  // 40008 / 40013
void runAddressCommand(AppContext& ctx, QWidget* parent);                    // 40016
void runRestartCommand(AppContext& ctx, QWidget* parent);                    // 40015
void runParameterTableCommand(AppContext& ctx, QWidget* parent, const HelpRequest& help);  // 40042
