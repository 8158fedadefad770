#pragma once
// Programs run by a test or a benchmark as child processes: started with
// their own arguments, working directory and environment changes, every wait
// bounded, and stopped (SIGTERM, then SIGKILL) when the Child goes. wait4 hands back
// the child's resource use, whose ru_maxrss is its peak resident memory.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

struct ChildOptions {
    std::string workingDirectory;                              // empty: ours
    std::vector<std::pair<std::string, std::string>> setEnv;   // name, value
    std::vector<std::string> unsetEnv;
    bool captureStdout = false;   // Child::out reads it
    bool pipeStdin = false;       // Child::in writes it; closeInput ends it
    std::string stderrFile;       // empty: inherited
};

struct Child {
    pid_t pid = -1;
    int in = -1;
    int out = -1;
    int status = -1;    // as waitpid gives it, once ended
    rusage usage{};     // once ended

    Child() = default;
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    ~Child() { stop(); }

    bool start(const std::vector<std::string>& argv, const ChildOptions& options = {}) {
        int fds[2] = {-1, -1};
        int input[2] = {-1, -1};
        if (options.captureStdout && pipe2(fds, O_CLOEXEC) != 0) return false;
        if (options.pipeStdin && pipe2(input, O_CLOEXEC) != 0) return false;
        pid = fork();
        if (pid < 0) return false;
        if (pid == 0) {
            if (options.captureStdout) dup2(fds[1], 1);
            if (options.pipeStdin) dup2(input[0], 0);
            if (!options.stderrFile.empty()) {
                int fd = ::open(options.stderrFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
                if (fd >= 0) dup2(fd, 2);
            }
            if (!options.workingDirectory.empty() && chdir(options.workingDirectory.c_str()) != 0) _exit(126);
            for (const auto& name : options.unsetEnv) unsetenv(name.c_str());
            for (const auto& [name, value] : options.setEnv) setenv(name.c_str(), value.c_str(), 1);
            std::vector<char*> args;
            for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
            args.push_back(nullptr);
            execv(args[0], args.data());
            _exit(127);
        }
        if (options.captureStdout) {
            ::close(fds[1]);
            out = fds[0];
        }
        if (options.pipeStdin) {
            ::close(input[0]);
            in = input[1];
        }
        return true;
    }

    // One line of its standard output within timeoutMs; empty when none
    // came (or it ended first).
    std::string readLine(int timeoutMs) {
        std::string line;
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < end) {
            pollfd p{out, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0) continue;
            char c;
            if (::read(out, &c, 1) != 1) break;
            if (c == '\n') return line;
            line.push_back(c);
        }
        return std::string();
    }

    void closeInput() {
        if (in >= 0) ::close(in);
        in = -1;
    }

    // Waits up to timeoutMs for the end; true when it ended (status, usage set).
    bool wait(int timeoutMs) {
        if (pid <= 0) return true;
        for (int waited = 0;; waited += 5) {
            if (wait4(pid, &status, WNOHANG, &usage) == pid) {
                pid = -1;
                return true;
            }
            if (waited >= timeoutMs) return false;
            usleep(5000);
        }
    }

    // SIGTERM, up to 5 s for the end, then SIGKILL.
    void stop() {
        if (pid > 0) {
            kill(pid, SIGTERM);
            if (!wait(5000)) {
                kill(pid, SIGKILL);
                wait4(pid, &status, 0, &usage);
                pid = -1;
            }
        }
        closeInput();
        if (out >= 0) {
            ::close(out);
            out = -1;
        }
    }

    // Its exit status (128 + the signal when a signal ended it), waiting at
    // most timeoutMs; -1 when it did not end.
    int exitCode(int timeoutMs) {
        if (!wait(timeoutMs)) return -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    bool exitedWith(int code) const { return WIFEXITED(status) && WEXITSTATUS(status) == code; }
    // Peak resident memory in MiB (Linux gives ru_maxrss in KiB).
    double peakMiB() const { return double(usage.ru_maxrss) / 1024.0; }
};

// VmHWM of a running process in MiB, the peak of its resident set so far;
// negative when it cannot be read.
inline double residentPeakMiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
    return -1;
}

