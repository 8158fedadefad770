#pragma once
// Device steps shared by several commands.
class AppContext;

// RestartAndWait under a progress window with text 1061; its result.
int RestartDevice(AppContext& ctx);
// Restart and report: RestartDevice; on failure text 1062, deviceSelected
// cleared and the panel rendered. Returns the restart's result.
int restartAndReport(AppContext& ctx);
