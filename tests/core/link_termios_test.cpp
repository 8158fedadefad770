// The real termios port against the simulator behind a pseudo-terminal:
// the simulator's server on a thread of this process, and the fieldsim
// program as a child process.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "link/DeviceLink.h"
#include "platform/TermiosPort.h"
#include "sim/PtyServer.h"
#include "support/FieldsimProcess.h"
#include "support/Support.h"

namespace {

const char* SmallBus =
    "device 0 FIRST\n version 4\n release 2\n pversion 9\n param 0100 4 1000\n param 0102 onoff on\n"
    "device 5 PUMPCTRL\n version 3\n release 7\n password 77\n param 0100 2 5\n param 0104 8 4000000000\n";

// A simulated bus served on a pseudo-terminal by a thread of this process.
struct PtyBus {
    SimBus bus;
    std::unique_ptr<PtyServer> server;
    std::thread thread;
    std::string error;

    explicit PtyBus(const std::string& text, PtyServer::Options options = {}) {
        parseBusText(text, bus, error);
        server = std::make_unique<PtyServer>(bus, options);
        if (server->open(error)) thread = std::thread([this] { server->run(); });
    }
    ~PtyBus() { shutdown(); }
    void shutdown() {
        if (thread.joinable()) {
            server->stop();
            thread.join();
        }
    }
    // Ends the server and closes the terminal's master side: the line is gone.
    void unplug() {
        shutdown();
        server.reset();
    }
    const std::string& path() const { return server->path(); }
};

void useTerminal(DeviceLink& link, const std::string& path) {
    link.setPortResolver([path](unsigned) { return path; });
}

// The fieldsim program of this build as a child process, its standard input
// on a pipe; path is its terminal.
bool startBuiltFieldsim(Child& child, std::vector<std::string> args, std::string& path) {
    args.insert(args.begin(), FS_DIST_DIR "/fieldsim");
    ChildOptions how;
    how.pipeStdin = true;
    return startFieldsim(child, args, path, how);
}

}  // namespace

TEST(TermiosPort, RefusesWhatIsNoFreeTerminal) {
    TempDir dir;
    dir.write("plain", "not a terminal");
    TermiosPort port;
    EXPECT_FALSE(port.open(dir.file("missing")));
    EXPECT_FALSE(port.open(dir.file("plain")));
    EXPECT_FALSE(port.close());

    PtyBus pty(SmallBus);
    ASSERT_EQ(pty.error, "");
    ASSERT_TRUE(port.open(pty.path()));
    TermiosPort second;
    EXPECT_FALSE(second.open(pty.path()));  // busy
    EXPECT_FALSE(port.open(pty.path()));    // already open
    EXPECT_TRUE(port.close());
    EXPECT_TRUE(second.open(pty.path()));   // free again
    EXPECT_TRUE(second.close());
}

TEST(TermiosPort, SettingsLeftByAnEarlierProgramAreCleared) {
    PtyBus pty(SmallBus);
    ASSERT_EQ(pty.error, "");
    // An earlier program left stick parity, two stop bits, flow control and
    // output processing on the port.
    int other = ::open(pty.path().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(other, 0);
    termios left{};
    ASSERT_EQ(tcgetattr(other, &left), 0);
    left.c_cflag |= CMSPAR | CSTOPB | CRTSCTS | PARODD;
    left.c_iflag |= IXON | IXOFF | ICRNL;
    left.c_oflag |= OPOST | ONLCR;
    left.c_lflag |= ICANON | ECHO;
    ASSERT_EQ(tcsetattr(other, TCSANOW, &left), 0);

    TermiosPort port;
    ASSERT_TRUE(port.open(pty.path()));   // a pseudo-terminal reports no parity: accepted
    termios now{};
    ASSERT_EQ(tcgetattr(other, &now), 0);
    EXPECT_EQ(now.c_cflag & (CMSPAR | CSTOPB | CRTSCTS | PARODD), 0u);
    EXPECT_EQ(now.c_iflag & (IXON | IXOFF | ICRNL), 0u);
    EXPECT_EQ(now.c_oflag & OPOST, 0u);
    EXPECT_EQ(now.c_lflag & (ICANON | ECHO), 0u);
    EXPECT_EQ(cfgetospeed(&now), speed_t(B9600));
    EXPECT_TRUE(port.close());
    ::close(other);
}

TEST(TermiosPort, TransactionsAcrossAPseudoTerminal) {
    PtyBus pty(SmallBus);
    ASSERT_EQ(pty.error, "");
    DeviceLink link;
    useTerminal(link, pty.path());
    ASSERT_TRUE(link.Open(1));
    EXPECT_FALSE(link.echo());
    ASSERT_TRUE(link.Select(5));
    EXPECT_EQ(link.ReadRegister(32), 3u);
    EXPECT_EQ(link.errorFlag(), 0);
    uint32_t value = 0;
    EXPECT_EQ(link.ReadRegisterRetry(0x0100, value), 3);  // no access yet
    link.connected = 1;
    link.password = 77;
    ASSERT_TRUE(link.OpenParameterAccess(false));
    EXPECT_EQ(link.ReadRegisterRetry(0x0104, value), 1);
    EXPECT_EQ(value, 4000000000u);
    EXPECT_EQ(link.digitCount(), 8u);
    EXPECT_EQ(link.ReadRegisterRetry(0x0106, value), 2);
    link.WriteRegisterRetry(0x0100, 0xAB);
    EXPECT_EQ(link.errorFlag(), 0);
    EXPECT_TRUE(link.Deselect());
    ASSERT_TRUE(link.Select(0));
    EXPECT_EQ(link.ReadRegister(36), 9u);
    EXPECT_TRUE(link.Close());
    pty.shutdown();
    EXPECT_EQ(pty.bus.device(5)->parameter(0x0100)->value, 0xABu);
}

// A line that hands every byte back: 0xFF comes back doubled by the
// terminal's error marking and must still count as one clean 0xFF.
TEST(TermiosPort, EchoingLineIsDetectedAndChecked) {
    PtyServer::Options options;
    options.echo = true;
    PtyBus pty(SmallBus, options);
    ASSERT_EQ(pty.error, "");
    DeviceLink link;
    useTerminal(link, pty.path());
    ASSERT_TRUE(link.Open(1));
    EXPECT_TRUE(link.echo());
    ASSERT_TRUE(link.Select(5));
    EXPECT_EQ(link.ReadRegister(34), 7u);
    EXPECT_TRUE(link.Deselect());  // the release byte 0xFF is echoed too
}

TEST(TermiosPort, ScanOverTheTerminal) {
    PtyServer::Options options;
    options.pace = false;
    PtyBus pty(SmallBus, options);
    ASSERT_EQ(pty.error, "");
    DeviceLink link;
    useTerminal(link, pty.path());
    ASSERT_TRUE(link.Open(1));
    EXPECT_EQ(link.ScanBus(), 2);
    EXPECT_EQ(link.BusEntry(1), "00>FIRST   ");
    EXPECT_EQ(link.BusEntry(2), "05>PUMPCTRL");
}

TEST(TermiosPort, LineThatDisappearsClosesThePort) {
    PtyBus pty(SmallBus);
    ASSERT_EQ(pty.error, "");
    DeviceLink link;
    useTerminal(link, pty.path());
    ASSERT_TRUE(link.Open(1));
    ASSERT_TRUE(link.Select(5));
    pty.unplug();
    auto start = std::chrono::steady_clock::now();
    uint32_t value = 0;
    EXPECT_EQ(link.ReadRegisterRetry(32, value), 0);
    EXPECT_FALSE(link.Select(5));
    EXPECT_FALSE(link.isOpen());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST(Fieldsim, ServesTheBusAndEndsCleanly) {
    TempDir dir;
    dir.write("small.bus", SmallBus);
    std::string linkPath = dir.file("bus0");
    std::string statePath = dir.file("state.bus");
    Child sim;
    std::string path;
    ASSERT_TRUE(startBuiltFieldsim(sim, {"--link", linkPath, "--state", statePath, "--no-pace", "--wire-log",
                                         dir.file("wire.log"), dir.file("small.bus")},
                                   path));
    EXPECT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;
    char target[256] = {};
    ASSERT_GT(readlink(linkPath.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(std::string(target), path);

    DeviceLink link;
    useTerminal(link, linkPath);
    ASSERT_TRUE(link.Open(1));
    ASSERT_TRUE(link.Select(0));
    link.connected = 1;
    ASSERT_TRUE(link.OpenParameterAccess(false));
    link.WriteRegisterRetry(0x0100, 4242);
    EXPECT_EQ(link.errorFlag(), 0);
    link.WriteRegisterRetry(0x0102, 0, true);
    EXPECT_EQ(link.errorFlag(), 0);
    link.Close();

    kill(sim.pid, SIGTERM);
    EXPECT_EQ(sim.exitCode(5000), 0);
    struct stat st {};
    EXPECT_NE(lstat(linkPath.c_str(), &st), 0);  // the link is gone
    std::string state = dir.read("state.bus");
    EXPECT_NE(state.find("param 0100 4 4242"), std::string::npos) << state;
    EXPECT_NE(state.find("param 0102 onoff off"), std::string::npos) << state;
    std::string log = dir.read("wire.log");
    EXPECT_NE(log.find("> 80"), std::string::npos);
    EXPECT_NE(log.find("< 00"), std::string::npos);
}

TEST(Fieldsim, EndsWhenItsInputCloses) {
    TempDir dir;
    dir.write("small.bus", SmallBus);
    Child sim;
    std::string path;
    ASSERT_TRUE(startBuiltFieldsim(sim, {"--exit-on-stdin-eof", dir.file("small.bus")}, path));
    sim.closeInput();
    EXPECT_EQ(sim.exitCode(5000), 0);

    Child broken;
    dir.write("broken.bus", "device 99 TOOFAR\n");
    EXPECT_FALSE(startBuiltFieldsim(broken, {dir.file("broken.bus")}, path));
    EXPECT_EQ(broken.exitCode(5000), 1);
}

TEST(TermiosPort, InputMarksAreUndone) {
    auto decode = [](std::vector<uint8_t> raw, bool flushAtEnd = false) {
        InputMarks marks;
        std::string out;
        InputMarks::Decoded d;
        for (uint8_t b : raw) marks.feed(b);
        if (flushAtEnd) marks.flush();
        char item[16];
        while (marks.take(d)) {
            std::snprintf(item, sizeof item, "%02x%s ", d.byte, d.brk ? "!" : d.marked ? "*" : "");
            out += item;
        }
        return out + (marks.pending() ? "..." : "");
    };
    EXPECT_EQ(decode({0x05, 0x55}), "05 55 ");
    EXPECT_EQ(decode({0xFF, 0xFF, 0x05}), "ff 05 ");          // a real 0xFF, doubled
    EXPECT_EQ(decode({0xFF, 0x00, 0x55, 0x50}), "55* 50 ");   // 0x55 with an error
    EXPECT_EQ(decode({0xFF, 0x00, 0x00}), "00! ");            // a break
    EXPECT_EQ(decode({0xFF, 0x41}), "ff 41 ");                 // no mark: both kept
    EXPECT_EQ(decode({0x10, 0xFF}), "10 ...");                 // waiting for the rest
    EXPECT_EQ(decode({0x10, 0xFF}, true), "10 ff ");
    EXPECT_EQ(decode({0xFF, 0x00}, true), "ff 00 ");
}
