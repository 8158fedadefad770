#pragma once
// The main window's commands that show a parameter file without a device.
class AppContext;
class QWidget;
void runReportViewCommand(AppContext& ctx, QWidget* parent);      // 40017
void runParameterTextCommand(AppContext& ctx, QWidget* parent);   // 40007 without a device
