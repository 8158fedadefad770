#pragma once
// The buses of a job on several buses: the ports given with --port, or the
// ports listed in a file, and the check that no bus is named twice.
#include <string>
#include <vector>

// Reads a port list: one port a line, blanks at either end dropped, blank
// lines and lines starting with "#" skipped. False with the reason when the
// file cannot be read or names no port.
bool readPortList(const std::string& file, std::vector<std::string>& ports, std::string& error);

// Why the list names a bus twice: the same text, or two names that reach one
// device: links resolved, so /dev/serial/by-id/... and /dev/ttyUSB0 are one
// bus; network ports by the addresses and port their hosts resolve to, so
// tcp://localhost:4001 and rfc2217://127.0.0.1:04001 are one bus (the
// lookups bounded together by 3 s). Empty when every bus is named once.
std::string portNamedTwice(const std::vector<std::string>& ports);
