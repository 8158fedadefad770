#pragma once
// Device steps shared by several commands.
class AppContext;

// OpenParameterAccess(extended) under a progress window with text 1056;
// text 1057 when access did not open. True when it opened.
bool openParameterAccess(AppContext& ctx, bool extended);
// RestartAndWait under a progress window with text 1061; its result.
int RestartDevice(AppContext& ctx);
// Restart and report: RestartDevice; on failure text 1062, deviceSelected
// cleared and the panel rendered. Returns the restart's result.
int restartAndReport(AppContext& ctx);
