#pragma once
// fieldsim as a child process: started with its arguments, its
// pseudo-terminal path read from its first line (bounded wait), and stopped
// when the Child goes.
#include <string>
#include <vector>

#include "support/ChildProcess.h"

// argv[0] is the program. False when it printed no path within 5 s.
inline bool startFieldsim(Child& child, const std::vector<std::string>& argv, std::string& path,
                          ChildOptions how = {}) {
    how.captureStdout = true;
    if (!child.start(argv, how)) return false;
    path = child.readLine(5000);
    return !path.empty();
}
