#pragma once
// fieldservice --history-sync: this laptop's journal entries that wait for
// the plant's server are sent, and the program ends.

class AppContext;

// 0 when nothing waits any more (said, with the server's name), 1 when no
// server is set, the server could not be reached or refused, or the
// journal could not be read (said; the server named, never its password).
int syncPlantHistory(AppContext& ctx);
