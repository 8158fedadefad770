#pragma once
// fieldsim as a child process of a benchmark: started with a bus file and
// options, its pseudo-terminal path read from its first line (bounded wait),
// and stopped when the Child goes.
#include <poll.h>

#include <string>
#include <vector>

#include "ChildProcess.h"

namespace bench {

inline bool startFieldsim(Child& child, const std::string& program, const std::string& busFile, std::string& path,
                          const std::vector<std::string>& options = {"--pace"}) {
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.push_back(busFile);
    ChildOptions how;
    how.captureStdout = true;
    if (!child.start(argv, how)) return false;
    for (int waited = 0; waited < 5000; waited += 50) {
        pollfd p{child.out, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0) continue;
        char c;
        while (::read(child.out, &c, 1) == 1) {
            if (c == '\n') return !path.empty();
            path.push_back(c);
        }
        return false;
    }
    return false;
}

}  // namespace bench
