// The batch jobs as an operator runs them: the built program, started without
// a display from an installation directory of its own, against the fieldsim
// program serving a bus on a pseudo-terminal.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "files/MemoryStream.h"
#include "files/ParameterFiles.h"
#include "app/AppState.h"
#include "platform/StderrOperator.h"
#include "sim/SimBus.h"
#include "support/Support.h"
#include "texts/TextTable.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

const std::string kDist = FS_DIST_DIR;

// A child process with bounded waits; killed if still running at the end.
class Child {
public:
    // Runs argv in cwd without DISPLAY and WAYLAND_DISPLAY; its standard
    // error goes to errPath, its standard output to a pipe, and its standard
    // input comes from a pipe that closes with this object.
    Child(const std::vector<std::string>& argv, const std::string& cwd, const std::string& errPath) {
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e) {
            if (std::strncmp(*e, "DISPLAY=", 8) == 0 || std::strncmp(*e, "WAYLAND_DISPLAY=", 16) == 0)
                continue;
            env.emplace_back(*e);
        }
        std::vector<char*> args, envp;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        for (auto& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        int in[2], out[2];
        if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return;
        int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        pid_ = fork();
        if (pid_ == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            if (err >= 0) dup2(err, 2);
            if (chdir(cwd.c_str()) != 0) _exit(126);
            execve(args[0], args.data(), envp.data());
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        if (err >= 0) close(err);
        stdin_ = in[1];
        stdout_ = out[0];
    }
    ~Child() {
        if (stdin_ >= 0) close(stdin_);
        if (pid_ > 0 && !reaped_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (stdout_ >= 0) close(stdout_);
    }
    bool started() const { return pid_ > 0; }

    // The first line of standard output, or empty after timeoutMs.
    std::string readLine(int timeoutMs) {
        std::string line;
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < end) {
            pollfd p{stdout_, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0) continue;
            char c;
            if (read(stdout_, &c, 1) != 1) break;
            if (c == '\n') return line;
            line += c;
        }
        return std::string();
    }
    // The exit status, or -1 when the process had not ended after timeoutMs
    // (it is then killed).
    int wait(int timeoutMs) {
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        int status = 0;
        while (true) {
            pid_t r = waitpid(pid_, &status, WNOHANG);
            if (r == pid_) {
                reaped_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            if (std::chrono::steady_clock::now() >= end) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        reaped_ = true;
        return -1;
    }
    void terminate() {
        if (pid_ > 0 && !reaped_) kill(pid_, SIGTERM);
    }

private:
    pid_t pid_ = -1;
    int stdin_ = -1;
    int stdout_ = -1;
    bool reaped_ = false;
};

class BatchProgram : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(kDist + "/fieldservice") || !fs::exists(kDist + "/fieldsim"))
            GTEST_SKIP() << "the programs are not built";
        // The installation: everything of dist but the programs.
        for (const auto& entry : fs::directory_iterator(kDist)) {
            std::string name = entry.path().filename().string();
            if (entry.is_regular_file() && (name.rfind("messages.", 0) == 0 || name.rfind("errors.", 0) == 0 ||
                                            name.rfind("parameters.", 0) == 0))
                fs::copy_file(entry.path(), inst.file(name));
        }
        ASSERT_TRUE(fs::exists(inst.file("messages.eng")));
        setOperator(&op);
    }
    void TearDown() override { setOperator(nullptr); }
    void configure(const std::string& portDevice) {
        inst.write("config.ini", "[BASIC Configurations]\nlanguage=eng\nserial_port=1\nconnect_on_startup=0\n"
                                 "[Port Devices]\ncom1=" + portDevice + "\n");
    }
    void parameterFile(const std::string& name, const std::string& text) {
        MemoryStream stream;
        stream.write(text);
        ASSERT_TRUE(writeSealedFile(inst.file(name), stream));
    }
    int runJob(const std::string& option, const std::string& path, int timeoutMs) {
        Child job({kDist + "/fieldservice", option, path}, inst.path(), inst.file("job.err"));
        EXPECT_TRUE(job.started());
        return job.wait(timeoutMs);
    }

    TempDir inst;
    RecordingOperator op;   // for the files this process writes
};

}  // namespace

TEST_F(BatchProgram, LoadsTheFirstDeviceOverATerminal) {
    inst.write("test.bus",
               "device 3 VALVE01\n version 2\n pversion 3\n"
               " param 0100 4 7\n param 0102 onoff off\n param 0104 2 9\n"
               "device 9 PUMPCTRL\n version 1\n param 0100 4 5\n");
    Child sim({kDist + "/fieldsim", "--exit-on-stdin-eof", "--restart-ms", "200", "--state",
               inst.file("state.bus"), inst.file("test.bus")},
              inst.path(), inst.file("sim.err"));
    ASSERT_TRUE(sim.started());
    std::string pty = sim.readLine(10000);
    ASSERT_FALSE(pty.empty()) << inst.read("sim.err");
    configure(pty);
    parameterFile("valve.NFO",
                  "#DATE: 07-06-2008  \n#NAME: VALVE01  \n#ADDR: 3  \n#VER.: 2  \n#REL.: 0  \n#PVER: 3  "
                  "\n#PSWD: 0  \n#FREE: 100\n#CODE: 100  #DATA: 42  \n#CODE: 102  #DATA: ON  ");

    EXPECT_EQ(runJob("/l", "val*.NFO", 120000), 0) << inst.read("job.err");
    EXPECT_EQ(inst.read("job.err"), "");   // no message, no progress lines off a terminal

    sim.terminate();
    ASSERT_EQ(sim.wait(10000), 0) << inst.read("sim.err");
    SimBus after;
    std::string error;
    ASSERT_TRUE(parseBusText(inst.read("state.bus"), after, error)) << error;
    ASSERT_NE(after.device(3), nullptr);
    EXPECT_EQ(after.device(3)->parameter(0x100)->value, 42u);
    EXPECT_EQ(after.device(3)->parameter(0x102)->value, 1u);
    EXPECT_EQ(after.device(3)->parameter(0x104)->value, 0u);   // not in the file: cleared
    EXPECT_EQ(after.device(9)->parameter(0x100)->value, 5u);
}

TEST_F(BatchProgram, NoDeviceOnTheTerminalEndsWithStatus1) {
    inst.write("empty.bus", "# nobody on the bus\n");
    Child sim({kDist + "/fieldsim", "--exit-on-stdin-eof", inst.file("empty.bus")}, inst.path(),
              inst.file("sim.err"));
    std::string pty = sim.readLine(10000);
    ASSERT_FALSE(pty.empty()) << inst.read("sim.err");
    configure(pty);
    parameterFile("valve.NFO", "#DATE: 07-06-2008  \n#NAME: VALVE01  \n#ADDR: 3  \n#VER.: 2  \n#REL.: 0  "
                               "\n#PVER: 3  \n#PSWD: 0  \n#CODE: 100  #DATA: 42  ");
    EXPECT_EQ(runJob("/l", "valve.NFO", 120000), 1);
    MessageTable.Load(inst.file("messages.eng"));
    EXPECT_EQ(inst.read("job.err"),
              oneLine(MessageTable.Lookup(0)) + " v1.10: " + oneLine(MessageTable.Lookup(19)) + "\n");
}

TEST_F(BatchProgram, ConvertsAndTellsOfEachFailureOnALine) {
    configure("/dev/null");
    parameterFile("good.NFO", "#DATE: 07-06-2008  \n#NAME: VALVE01  \n#ADDR: 3  \n#VER.: 2  \n#REL.: 0  "
                              "\n#PVER: 3  \n#PSWD: 0  \n#CODE: 100  #DATA: 42  ");
    fs::remove(inst.file("good.DOC"));
    inst.write("bad.NFO", "#CRPT: 1\n#CBEG: garbage\n#CEND: \n#END.:    0");
    EXPECT_EQ(runJob("/c", "*.NFO", 60000), 1);
    EXPECT_TRUE(fs::exists(inst.file("good.DOC")));
    EXPECT_FALSE(fs::exists(inst.file("bad.DOC")));
    MessageTable.Load(inst.file("messages.eng"));
    EXPECT_EQ(inst.read("job.err"),
              oneLine(MessageTable.Lookup(0)) + " v1.10: " + oneLine(MessageTable.Lookup(32783)) + "\n");

    EXPECT_EQ(runJob("/c", "nothing*.NFO", 60000), 2);
    EXPECT_EQ(inst.read("job.err"),
              oneLine(MessageTable.Lookup(0)) + " v1.10: " + oneLine(MessageTable.Lookup(2)) + "\n");
}
