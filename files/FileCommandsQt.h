#pragma once
// The main window's commands that show a parameter file without a device.
class QWidget;
void runReportViewCommand(QWidget* parent);      // 40017
void runParameterTextCommand(QWidget* parent);   // 40007 without a device
