#pragma once
// The main window's commands that show a parameter file without a device.
#include "widgets/HelpButtonQt.h"

class AppContext;
class QWidget;
void runReportViewCommand(AppContext& ctx, QWidget* parent);      // 40017
void runParameterTextCommand(AppContext& ctx, QWidget* parent);   // 40007 without a device
// Comparisons: two chosen files (40040), the device with a chosen file (40041).
void runCompareFilesCommand(AppContext& ctx, QWidget* parent, const HelpRequest& help);
void runCompareDeviceCommand(AppContext& ctx, QWidget* parent, const HelpRequest& help);
