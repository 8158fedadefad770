#pragma once
// A job on several buses at once: "--load FILE" or "--save PATTERN" with
// the ports given by --port (once or more) or listed in --ports FILE. Each
// bus gets a device link and a context of its own on a thread of its own;
// the load on each bus is the load of "/l", with its backup and read-back,
// into the device the scan finds first (or the one --address or --device
// picks). Messages go to standard error, each line led by its port; at the
// end a table on standard output: port, device (name, address), result, the
// backup or saved file, verification. The job runs without windows even on
// a display: the window works with one device at a time.
//
// Exit status: 0 when every bus did all it was asked, 1 when one did not,
// 2 for bad usage found before any bus is touched (a port list that cannot
// be read or is empty, a bus named twice, no file to load, a folder to save
// in that cannot be written).

struct CommandLine;

int runBusJobs(const CommandLine& args);
