#pragma once
// Ports put back when the program is ended by SIGTERM, SIGINT or SIGHUP
// while it holds them: the settings found at open are restored, the lock
// file is removed, and the program ends by the same signal. Each open port
// keeps what the handler needs in static storage, since a signal handler
// may neither allocate nor take a lock.
#include <termios.h>

#include <string>

namespace portrestore {

// Registers an open port; the slot to forget it by, -1 when all are taken
// (the port then goes without). Installs the handlers on first use, for
// each of the signals whose handling the program left at its default.
int remember(int fd, const termios& saved, const std::string& lockPath);
// Forgets the port of slot (before it is closed); -1 is ignored.
void forget(int slot);

}  // namespace portrestore
