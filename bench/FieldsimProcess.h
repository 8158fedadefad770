#pragma once
// fieldsim as a child process of a benchmark: started with a bus file,
// its pseudo-terminal path read from its first line (bounded wait), and
// stopped (SIGTERM, then SIGKILL) when the Child goes.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace bench {

struct Child {
    pid_t pid = -1;
    int out = -1;
    ~Child() {
        if (pid > 0) {
            kill(pid, SIGTERM);
            for (int i = 0; i < 500; ++i) {
                if (waitpid(pid, nullptr, WNOHANG) == pid) return;
                usleep(10000);
            }
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
};

inline bool startFieldsim(Child& child, const std::string& program, const std::string& busFile, std::string& path) {
    int fds[2];
    if (pipe(fds) != 0) return false;
    child.pid = fork();
    if (child.pid == 0) {
        dup2(fds[1], 1);
        ::close(fds[0]);
        execl(program.c_str(), program.c_str(), "--pace", busFile.c_str(), (char*)nullptr);
        _exit(127);
    }
    ::close(fds[1]);
    child.out = fds[0];
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
