#pragma once
// The two jobs the program runs from its command line without the operator:
// "/c path" converts parameter files into reports, "/l path" loads the first
// matching parameter file into the first device on the bus. Messages and
// progress go through ctx.ui(), the device through ctx.link.
//
// Exit status of a job:
//   0  the job did all it was asked;
//   1  a file could not be converted, or the load did not complete (no device,
//      the select or identity read failed, the load stopped with its message,
//      a question was answered No, the restart failed), or the read-back
//      after the load (settings.verifyAfterLoad) found a parameter that
//      differs from the file or could not read them all;
//   2  the directory or the first matching file was not found.

#include <string>

class AppContext;

// True when the line asks for a job ("/c " or "/l ", slash, letter, blank).
bool isBatchCommandLine(const std::string& commandLine);

// Runs the job the line asks for and returns its exit status (0 when the line
// asks for none). The current directory is the same afterwards.
int runBatchJob(AppContext& ctx, const std::string& commandLine);
