#pragma once
// Device steps shared by several commands.

// RestartAndWait under a progress window with text 1061; its result.
int RestartDevice();
// Restart and report: RestartDevice; on failure text 1062, deviceSelected
// cleared and the panel rendered. Returns the restart's result.
int restartAndReport();
