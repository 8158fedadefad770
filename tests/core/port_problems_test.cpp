// Ports that will not open: why, as the termios port finds out, and what the
// connect command then tells the operator; the port's lock file from its
// creation to its removal.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <dirent.h>
#include <grp.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>

#include "link/DeviceLink.h"
#include "platform/TermiosPort.h"
#include "session/ConnectCommands.h"
#include "shell_support.h"
#include "support/SimFixture.h"
#include "texts/TextFill.h"

namespace {

// A pseudo-terminal nobody answers on: the master side stays with us.
struct Terminal {
    int master = -1;
    std::string path;
    Terminal() {
        master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        char name[128];
        if (master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0 && ptsname_r(master, name, sizeof name) == 0)
            path = name;
    }
    ~Terminal() {
        if (master >= 0) ::close(master);
    }
};

std::string commOf(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(in, name);
    return name;
}

std::string lockText(pid_t pid) {
    char text[16];
    std::snprintf(text, sizeof text, "%10d\n", int(pid));
    return text;
}

// The process id of a child that has ended and been collected.
pid_t finishedChild() {
    pid_t pid = fork();
    if (pid == 0) _exit(0);
    int status = 0;
    waitpid(pid, &status, 0);
    return pid;
}

std::string lockBase(const std::string& device) {
    return "LCK.." + device.substr(device.find_last_of('/') + 1);
}

// Files in dir other than the ones named.
std::vector<std::string> filesIn(const TempDir& dir) {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.path().c_str())) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.') names.push_back(e->d_name);
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// One way a port fails to open. prepare makes the situation and returns the
// device path; expected gives the text the operator must see (the table is
// the shipped English one).
struct Scene {
    TempDir files;     // devices that are no devices
    TempDir locks;     // the lock folder
    Terminal terminal;
    int heldFd = -1;
    std::string skip;  // why this situation cannot be made here
    ~Scene() {
        if (heldFd >= 0) ::close(heldFd);
    }
};

struct ProblemCase {
    const char* name;
    PortProblem problem;
    std::function<std::string(Scene&)> prepare;
    // Text number and the values after the port's path.
    uint32_t text;
    std::function<std::vector<std::string>(Scene&)> values;
};

std::vector<std::string> none(Scene&) { return {}; }

std::string holdLockFile(Scene& s, pid_t pid) {
    s.locks.write(lockBase(s.terminal.path), lockText(pid));
    return s.terminal.path;
}

const ProblemCase Cases[] = {
    {"MissingPath", PortProblem::Missing, [](Scene& s) { return s.files.file("ttyUSB9"); }, 0x8110, none},
    {"Directory", PortProblem::NotSerial, [](Scene& s) { return s.files.path(); }, 0x8116, none},
    // A character device that refuses every terminal call.
    {"DeviceThatIsNoTerminal", PortProblem::NotSerial, [](Scene&) { return std::string("/dev/null"); }, 0x8116,
     none},
    {"LockFileOfTheParent", PortProblem::InUse, [](Scene& s) { return holdLockFile(s, getppid()); }, 0x8113,
     [](Scene&) { return std::vector<std::string>{commOf(getppid()), std::to_string(getppid())}; }},
    {"AdvisoryLockOnASecondDescriptor", PortProblem::InUse,
     [](Scene& s) {
         s.heldFd = ::open(s.terminal.path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
         if (s.heldFd < 0 || flock(s.heldFd, LOCK_EX | LOCK_NB) != 0) s.skip = "cannot lock the terminal";
         return s.terminal.path;
     },
     0x8113, [](Scene&) { return std::vector<std::string>{commOf(getpid()), std::to_string(getpid())}; }},
};

class PortProblemTest : public ::testing::TestWithParam<ProblemCase> {
protected:
    void SetUp() override {
        ctx.settings.windowTitle = "fieldservice v1.10";
        ASSERT_TRUE(ctx.texts.messages.Load(std::string(FS_SOURCE_DIR) + "/install/messages.eng"));
        ctx.attachWindow(&op, &frame);
        ASSERT_FALSE(scene.terminal.path.empty());
        auto port = std::make_unique<TermiosPort>();
        port->setLockDirectory(scene.locks.path());
        termios = port.get();
        link.setTransport(std::move(port));
    }

    struct NoChooser : DeviceChooser {
        int calls = 0;
        bool choose(const std::vector<std::string>&, const std::function<bool(int)>&) override {
            ++calls;
            return false;
        }
    };

    Scene scene;
    RecordingOperator op;
    CountingFrame frame;
    DeviceLink link;
    TermiosPort* termios = nullptr;
    AppContext ctx{link, &op};
    NoChooser chooser;
};

TEST_P(PortProblemTest, ConnectSaysWhyNamingThePort) {
    const ProblemCase& c = GetParam();
    const std::string path = c.prepare(scene);
    if (!scene.skip.empty()) GTEST_SKIP() << scene.skip;
    const std::vector<std::string> locksBefore = filesIn(scene.locks);
    link.setPortResolver([path](unsigned) { return path; });

    EXPECT_FALSE(connectCommand(ctx, 1, chooser));
    EXPECT_EQ(link.openFailure().problem, c.problem);
    EXPECT_EQ(link.openFailure().path, path);
    EXPECT_FALSE(link.isOpen());
    EXPECT_EQ(chooser.calls, 0);
    EXPECT_EQ(frame.renders, 1);

    std::vector<std::string> values{path};
    for (const std::string& v : c.values(scene)) values.push_back(v);
    const std::string expected = fillText(ctx.message(c.text), {values.size() > 0 ? values[0] : "",
                                                                values.size() > 1 ? values[1] : "",
                                                                values.size() > 2 ? values[2] : ""});
    EXPECT_EQ(op.texts(), std::vector<std::string>{expected});
    EXPECT_EQ(expected.find("%s"), std::string::npos);
    // Nothing was left behind, and a lock file someone else made is still there.
    EXPECT_EQ(filesIn(scene.locks), locksBefore);
}

INSTANTIATE_TEST_SUITE_P(Ports, PortProblemTest, ::testing::ValuesIn(Cases),
                         [](const ::testing::TestParamInfo<ProblemCase>& info) { return info.param.name; });

// Only a port that opened and where nobody answered ends in "no device found".
TEST_F(PortProblemTest, AnOpenPortWithNobodyOnItIsText19) {
    link.setPortResolver([this](unsigned) { return scene.terminal.path; });
    EXPECT_FALSE(connectCommand(ctx, 1, chooser));
    EXPECT_EQ(link.openFailure().problem, PortProblem::None);
    EXPECT_EQ(op.texts(), std::vector<std::string>{ctx.message(19)});
    link.Close();
    EXPECT_TRUE(filesIn(scene.locks).empty());
}

// The lock file: taken at open with our process id in the usual form, gone
// at close; one left by a process that has ended, or holding no process id,
// is stale and taken over.
TEST(PortLockFile, TakenAtOpenRemovedAtCloseStaleOnesTakenOver) {
    Terminal terminal;
    ASSERT_FALSE(terminal.path.empty());
    const struct {
        const char* name;
        std::function<std::string()> leftBehind;   // nullptr: no lock file before
    } before[] = {
        {"none", nullptr},
        {"finished child", [] { return lockText(finishedChild()); }},
        {"garbage", [] { return std::string("garbage\n"); }},
        {"empty", [] { return std::string(); }},
        {"our own number, not held", [] { return lockText(getpid()); }},
    };
    for (const auto& b : before) {
        SCOPED_TRACE(b.name);
        TempDir locks;
        const std::string lockFile = locks.file(lockBase(terminal.path));
        if (b.leftBehind) locks.write(lockBase(terminal.path), b.leftBehind());
        TermiosPort port;
        port.setLockDirectory(locks.path());
        ASSERT_TRUE(port.open(terminal.path));
        EXPECT_EQ(port.lockFilePath(), lockFile);
        EXPECT_EQ(locks.read(lockBase(terminal.path)), lockText(getpid()));
        EXPECT_EQ(filesIn(locks), std::vector<std::string>{lockBase(terminal.path)});

        // A second port of this process is refused on the lock file.
        TermiosPort second;
        second.setLockDirectory(locks.path());
        EXPECT_FALSE(second.open(terminal.path));
        EXPECT_EQ(second.lastOpenFailure().problem, PortProblem::InUse);
        EXPECT_EQ(second.lastOpenFailure().holderPid, long(getpid()));

        EXPECT_TRUE(port.close());
        EXPECT_TRUE(filesIn(locks).empty());
    }
}

TEST(PortLockFile, AFolderThatCannotBeUsedDoesNotStopThePort) {
    Terminal terminal;
    ASSERT_FALSE(terminal.path.empty());
    TempDir locks;
    TermiosPort port;
    port.setLockDirectory(locks.file("no-such-folder"));
    ASSERT_TRUE(port.open(terminal.path));
    EXPECT_EQ(port.lockFilePath(), "");
    EXPECT_TRUE(port.close());
}

// A process that ends without closing its port, through exit or by SIGTERM,
// SIGINT or SIGHUP, leaves no lock file and, after a signal, the settings
// it found; the next open takes the port whatever was left on it.
TEST(PortLockFile, RemovedAndSettingsRestoredWhenTheProcessEnds) {
    for (int sig : {0, SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(sig);
        Terminal terminal;
        TempDir locks;
        // Settings another program left: marks, checks, a terminal's processing.
        int slave = ::open(terminal.path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        termios before{};
        ASSERT_EQ(tcgetattr(slave, &before), 0);
        before.c_iflag |= PARMRK | INPCK | IXON | ICRNL | ISTRIP;
        before.c_lflag |= ICANON | ECHO;
        ASSERT_EQ(tcsetattr(slave, TCSANOW, &before), 0);
        pid_t pid = fork();
        if (pid == 0) {
            // Never closed, and still reachable (a leak checker would object to
            // a lost one before the handler under test runs).
            static TermiosPort* port = new TermiosPort;
            port->setLockDirectory(locks.path());
            if (!port->open(terminal.path)) _exit(3);
            if (sig == 0) std::exit(0);
            for (int i = 0; i < 1000; ++i) usleep(10000);
            _exit(5);
        }
        const std::string lockFile = locks.file(lockBase(terminal.path));
        for (int i = 0; i < 1000 && sig != 0 && access(lockFile.c_str(), F_OK) != 0; ++i) usleep(5000);
        if (sig != 0) kill(pid, sig);
        int status = -1;
        for (int i = 0; i < 1000 && waitpid(pid, &status, WNOHANG) == 0; ++i) usleep(5000);
        EXPECT_TRUE(sig ? WIFSIGNALED(status) && WTERMSIG(status) == sig : WIFEXITED(status) && !WEXITSTATUS(status));
        termios after{};
        ASSERT_EQ(tcgetattr(slave, &after), 0);
        if (sig != 0) {
            EXPECT_EQ(after.c_iflag, before.c_iflag);
            EXPECT_EQ(after.c_lflag, before.c_lflag);
        }
        EXPECT_TRUE(filesIn(locks).empty());

        TermiosPort port;
        port.setLockDirectory(locks.path());
        ASSERT_TRUE(port.open(terminal.path));
        ASSERT_EQ(tcgetattr(slave, &after), 0);
        EXPECT_EQ(after.c_iflag, tcflag_t(INPCK | PARMRK));
        EXPECT_TRUE(port.close());
        ::close(slave);
    }
}

// A port that opens but has nothing behind it is named as such, with the
// adapters there are, never as a bus without devices (text 19).
TEST(PortProblems, APortWithoutHardwareIsNamed) {
    SimFixture f;
    ASSERT_TRUE(f.ctx.texts.messages.Load(std::string(FS_SOURCE_DIR) + "/install/messages.eng"));
    f.line->noUart = true;
    f.link.setPortResolver([](unsigned) { return std::string("/dev/ttyS0"); });
    struct : DeviceChooser {
        bool choose(const std::vector<std::string>&, const std::function<bool(int)>&) override { return false; }
    } chooser;
    EXPECT_FALSE(connectCommand(f.ctx, 1, chooser));
    EXPECT_FALSE(f.link.isOpen());
    EXPECT_FALSE(f.link.portLost());
    EXPECT_EQ(f.link.openFailure().problem, PortProblem::NoHardware);
    ASSERT_EQ(f.op.texts().size(), 1u);
    const std::string text = f.op.texts()[0];
    const std::string head = f.ctx.message(0x811A).substr(0, f.ctx.message(0x811A).find("%s"));
    EXPECT_EQ(text.rfind(head + "/dev/ttyS0", 0), 0u) << text;
    EXPECT_NE(text.find("options"), std::string::npos) << text;
}

}  // namespace

namespace {

// What the connect command shows when a user without privileges opens path
// (this process when it has none; as root, a child that gives them up).
std::string connectTextAsUser(const std::string& path, PortProblem& problem) {
    auto run = [&](int out) {
        TempDir locks;
        RecordingOperator op;
        DeviceLink link;
        auto port = std::make_unique<TermiosPort>();
        port->setLockDirectory(locks.path());
        link.setTransport(std::move(port));
        link.setPortResolver([path](unsigned) { return path; });
        AppContext ctx{link, &op};
        ctx.texts.messages.Load(std::string(FS_SOURCE_DIR) + "/install/messages.eng");
        struct : DeviceChooser {
            bool choose(const std::vector<std::string>&, const std::function<bool(int)>&) override { return false; }
        } chooser;
        connectCommand(ctx, 1, chooser);
        std::string text = std::to_string(int(link.openFailure().problem)) + "\n";
        for (const std::string& t : op.texts()) text += t;
        if (::write(out, text.data(), text.size()) != ssize_t(text.size())) return 1;
        return 0;
    };
    int fds[2];
    if (pipe(fds) != 0) return {};
    if (geteuid() != 0) {
        run(fds[1]);
    } else {
        pid_t pid = fork();
        if (pid == 0) {
            // Nothing of ours goes with it: it would hold what it is to find held.
            for (int fd = 3; fd < 1024; ++fd)
                if (fd != fds[1]) ::close(fd);
            if (setresgid(65534, 65534, 65534) != 0 || setresuid(65534, 65534, 65534) != 0) _exit(2);
            _exit(run(fds[1]));
        }
        int status = 0;
        for (int i = 0; i < 1000 && waitpid(pid, &status, WNOHANG) == 0; ++i) usleep(5000);
        if (waitpid(pid, &status, WNOHANG) == 0) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
        }
    }
    ::close(fds[1]);
    std::string text;
    char buffer[512];
    ssize_t n;
    while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0) text.append(buffer, size_t(n));
    ::close(fds[0]);
    const size_t line = text.find('\n');
    if (line == std::string::npos) return {};
    problem = PortProblem(std::stoi(text.substr(0, line)));
    return text.substr(line + 1);
}

}  // namespace

// Refusals that only a user without privileges meets: a terminal whose
// group may read and write it (that group is named) and one whose group may
// not (joining it would not help), and one another program made exclusive
// (whose holder such a user cannot see).
TEST(PortProblems, RefusalsForAnOrdinaryUser) {
    TextTable english;
    ASSERT_TRUE(english.Load(std::string(FS_SOURCE_DIR) + "/install/messages.eng"));
    for (mode_t mode : {mode_t(0660), mode_t(0)}) {
        Terminal terminal;
        ASSERT_FALSE(terminal.path.empty());
        ASSERT_EQ(chmod(terminal.path.c_str(), mode), 0);
        struct stat st {};
        ASSERT_EQ(stat(terminal.path.c_str(), &st), 0);
        std::string group = std::to_string(st.st_gid);
        if (struct group* g = getgrgid(st.st_gid)) group = g->gr_name;
        PortProblem problem = PortProblem::None;
        EXPECT_EQ(connectTextAsUser(terminal.path, problem),
                  mode ? fillText(english.Lookup(0x8111), {terminal.path, group})
                       : fillText(english.Lookup(0x8112), {terminal.path}));
        EXPECT_EQ(problem, PortProblem::NoPermission);
    }
    if (geteuid() != 0) return;   // exclusive use keeps out others, not ourselves
    {
        Terminal terminal;
        ASSERT_FALSE(terminal.path.empty());
        ASSERT_EQ(chmod(terminal.path.c_str(), 0666), 0);
        int held = ::open(terminal.path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(held, 0);
        ASSERT_EQ(ioctl(held, TIOCEXCL, nullptr), 0);
        PortProblem problem = PortProblem::None;
        EXPECT_EQ(connectTextAsUser(terminal.path, problem), fillText(english.Lookup(0x8115), {terminal.path}));
        EXPECT_EQ(problem, PortProblem::InUse);
        ioctl(held, TIOCNXCL, nullptr);
        ::close(held);
    }
}
