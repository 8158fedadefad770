// Several buses at once: the built program against a fieldsim per bus, and
// the bad usages that must be refused before any bus is touched.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <algorithm>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "files/MemoryStream.h"
#include "files/ParameterFiles.h"
#include "link/DeviceLink.h"
#include "session/AppContext.h"
#include "sim/SimBus.h"
#include "support/ChildProcess.h"
#include "support/Support.h"

namespace fs = std::filesystem;

namespace {

const std::string kDist = FS_DIST_DIR;

class BusJobs : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(kDist + "/fieldservice") || !fs::exists(kDist + "/fieldsim"))
            GTEST_SKIP() << "the programs are not built";
        for (const char* name : {"messages.eng", "errors.eng", "parameters.eng"})
            fs::copy_file(kDist + "/" + name, inst.file(name));
        inst.write("config.ini", "[BASIC Configurations]\nlanguage=eng\nserial_port=1\n");
    }
    // A bus on a fieldsim of its own; its state file is bus<n>.state.
    std::string startBus(int n, const std::string& text, const std::vector<std::string>& options = {}) {
        const std::string name = "bus" + std::to_string(n);
        inst.write(name + ".bus", text);
        sims.push_back(std::make_unique<Child>());
        ChildOptions how;
        how.captureStdout = true;
        how.pipeStdin = true;
        how.stderrFile = inst.file(name + ".err");
        std::vector<std::string> argv = {kDist + "/fieldsim", "--exit-on-stdin-eof", "--restart-ms", "200", "--state",
                                         inst.file(name + ".state")};
        argv.insert(argv.end(), options.begin(), options.end());
        argv.push_back(inst.file(name + ".bus"));
        EXPECT_TRUE(sims.back()->start(argv, how));
        return sims.back()->readLine(10000);
    }
    // The program in the installation without a display; its standard
    // output lines in out.
    int run(std::vector<std::string> args) {
        args.insert(args.begin(), kDist + "/fieldservice");
        ChildOptions how;
        how.workingDirectory = inst.path();
        how.unsetEnv = {"DISPLAY", "WAYLAND_DISPLAY"};
        how.stderrFile = inst.file("job.err");
        how.captureStdout = true;
        Child job;
        EXPECT_TRUE(job.start(args, how));
        int status = job.exitCode(180000);
        out.clear();
        for (std::string line = job.readLine(1000); !line.empty(); line = job.readLine(1000)) out.push_back(line);
        return status;
    }
    SimBus stateOf(int n) {
        kill(sims[size_t(n)]->pid, SIGTERM);
        EXPECT_EQ(sims[size_t(n)]->exitCode(10000), 0);
        SimBus bus;
        std::string error;
        EXPECT_TRUE(parseBusText(inst.read("bus" + std::to_string(n) + ".state"), bus, error)) << error;
        return bus;
    }

    TempDir inst;
    std::vector<std::unique_ptr<Child>> sims;
    std::vector<std::string> out;
};

// The device to load sits second on each bus, so --address has to pick it.
const char* kBench = "device 3 PUMPCTRL\n param 0100 4 5\n"
                     "device 9 VALVE01\n version 2\n pversion 3\n param 0100 4 7\n param 0102 onoff off\n";

}  // namespace

// Eight benches loaded by one command, and a ninth bus without the device:
// the eight are loaded, backed up and verified, the ninth fails, and the
// status says so. Then two buses with devices of one name and address are
// saved at once, each to a file of its own.
TEST_F(BusJobs, EightBusesLoadInParallelAndTheTableTellsWhichFailed) {
    RecordingOperator op;
    DeviceLink noDevice;
    AppContext ctx(noDevice, &op);
    MemoryStream stream;
    stream.write("#DATE: 07-06-2008  \n#NAME: VALVE01  \n#ADDR: 9  \n#VER.: 2  \n#REL.: 0  \n#PVER: 3  \n#PSWD: 0  "
                 "\n#FREE: 100\n#CODE: 100  #DATA: 42  \n#CODE: 102  #DATA: ON  ");
    ASSERT_TRUE(writeSealedFile(ctx, inst.file("valve.NFO"), stream));
    std::string list = "# the line's benches\n\n";
    for (int n = 0; n < 9; ++n) {
        std::string pty = startBus(n, n < 8 ? kBench : "device 3 PUMPCTRL\n param 0100 4 5\n");
        ASSERT_FALSE(pty.empty());
        list += pty + "\n";
    }
    inst.write("ports.txt", list);

    EXPECT_EQ(run({"--load", "valve.NFO", "--ports", "ports.txt", "--address", "9"}), 1) << inst.read("job.err");
    ASSERT_EQ(out.size(), 11u) << inst.read("job.err");   // heading, rule, nine buses
    EXPECT_EQ(out[0].find("Port"), 0u);
    for (int n = 0; n < 9; ++n) {
        const std::string& row = out[size_t(n) + 2];
        SCOPED_TRACE(row);
        EXPECT_EQ(row.rfind("/dev/pts/", 0), 0u);
        if (n < 8) {
            EXPECT_NE(row.find("VALVE01 (09)  loaded  " + inst.path() + "/backups/VALVE01-09-"), std::string::npos);
            // The backup's name ends in its bus.
            const std::string port = row.substr(0, row.find(' '));
            EXPECT_NE(row.find("-pts-" + port.substr(port.rfind('/') + 1) + ".NFO "), std::string::npos);
            EXPECT_NE(row.find("verified"), std::string::npos);
        } else {
            EXPECT_NE(row.find(" failed "), std::string::npos);
            EXPECT_EQ(row.find("VALVE01"), std::string::npos);
        }
    }
    // Each bus's messages are whole lines led by its port.
    const std::string err = inst.read("job.err");
    EXPECT_NE(err.find(": No device answers at address 09 on the bus."), std::string::npos) << err;
    EXPECT_EQ(std::distance(fs::directory_iterator(inst.file("backups")), fs::directory_iterator()), 16);

    const std::vector<std::string> ports(out.begin() + 2, out.end());
    std::vector<std::string> two;
    for (int n : {0, 1}) two.push_back(ports[size_t(n)].substr(0, ports[size_t(n)].find(' ')));
    // A prefix with a dot, in a folder with a dot: each pair is named whole
    // and ends in its bus.
    fs::create_directory(inst.file("v1.2"));
    EXPECT_EQ(run({"--save", "v1.2/line3.v2", "--port", two[0], "--port", two[1], "--device", "VALVE01"}), 0)
        << inst.read("job.err");
    ASSERT_EQ(out.size(), 4u);
    EXPECT_NE(out[2].find("saved"), std::string::npos) << out[2] << "\n" << out[3];
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(inst.file("v1.2"))) names.insert(entry.path().filename());
    const std::regex named(R"(line3\.v2_VALVE01_09_\d{4}-\d\d-\d\d_pts-\d+\.(NFO|DOC))");
    EXPECT_EQ(names.size(), 4u);   // two pairs
    for (const std::string& name : names) EXPECT_TRUE(std::regex_match(name, named)) << name;
    for (const std::string& port : two) {
        const std::string bus = "_pts-" + port.substr(port.rfind('/') + 1) + ".NFO";
        auto fromBus = [&bus](const std::string& n) { return n.find(bus) != std::string::npos; };
        EXPECT_EQ(std::count_if(names.begin(), names.end(), fromBus), 1) << bus;
    }

    for (int n = 0; n < 9; ++n) {
        SimBus bus = stateOf(n);
        EXPECT_EQ(bus.device(3)->parameter(0x100)->value, 5u);   // the first device is left alone
        if (n < 8) {
            EXPECT_EQ(bus.device(9)->parameter(0x100)->value, 42u) << n;
        }
    }
}

// Refused before anything runs: status 2, the reason on standard error, no table.
TEST_F(BusJobs, BadUsageIsRefusedBeforeAnyBusIsTouched) {
    inst.write("tty", "");
    fs::create_symlink(inst.file("tty"), inst.file("by-id"));
    inst.write("empty.txt", "# nothing here\n\n");
    const std::string tty = inst.file("tty");
    std::string many;
    for (int n = 0; n < 33; ++n) many += "tcp://127.0.0.1:" + std::to_string(4001 + n) + "\n";
    inst.write("many.txt", many);
    struct Case {
        std::vector<std::string> args;
        const char* says;
    };
    const Case cases[] = {
        {{"--load", "x.NFO", "--port", tty, "--port", "/dev/null", "--port", tty}, "is named twice"},
        {{"--load", "x.NFO", "--port", tty, "--port", inst.file("by-id")}, "are the same device"},
        {{"--load", "x.NFO", "--ports", inst.file("missing.txt")}, "cannot read the port list"},
        {{"--load", "x.NFO", "--ports", inst.file("empty.txt")}, "names no port"},
        {{"--load", "x.NFO", "--port", tty, "--address", "40"}, "a bus address is 00..3F"},
        {{"--load", "x.NFO", "--port", tty, "--address", "0x40"}, "a bus address is 00..3F"},
        {{"--load", "x.NFO", "--port", tty, "--address", "dec:64"}, "a bus address is 00..3F"},
        {{"--load", "x.NFO", "--port", tty, "--address", "2G"}, "a decimal is written dec:42"},
        {{"--load", "x.NFO", "--port", tty, "--device", "VALVE0123"}, "1 to 8 characters"},
        {{"--save", inst.file("no/such/folder/x"), "--port", tty}, "cannot write files in"},
        {{"--port", tty, "--port", "/dev/null"}, "several ports need a job"},
        // One bus whatever the scheme or the spelling of its host and port.
        {{"--load", "x.NFO", "--port", "tcp://localhost:4001", "--port", "rfc2217://127.0.0.1:04001"},
         "tcp://localhost:4001 and rfc2217://127.0.0.1:04001 are the same device (both reach 127.0.0.1:4001)"},
        {{"--load", "x.NFO", "--port", "RFC2217://PLC7.invalid:4001", "--port", "tcps://plc7.invalid:4001"},
         "are the same device (both reach plc7.invalid:4001)"},
        {{"--load", "x.NFO", "--ports", inst.file("many.txt")}, "33 ports given; a job works with at most 32"},
        {{"--load", "x.NFO", "--port", tty, "--port", "rfc2217://user@plc7:4001"}, "carries no user name"},
        {{"--load", "x.NFO", "--port", tty, "--port", "tcp://" + std::string(250, 'a') + ".plc:4001"},
         "has 254 characters"},
        {{"--load", "x.NFO", "--port", tty, "--port", "rfc2217://plc7:4001/"},
         "rfc2217://plc7:4001/ is not a port address"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.says);
        EXPECT_EQ(run(c.args), 2);
        EXPECT_NE(inst.read("job.err").find(c.says), std::string::npos) << inst.read("job.err");
        EXPECT_TRUE(out.empty());
    }
}

// A living device saved by the batch job: what moves is saved as its last
// read and named on standard error, a line that loses digit pairs puts no
// wrong value into the file (the password neither), and the job ends 0.
class LiveBusSave : public BusJobs, public testing::WithParamInterface<int> {};

TEST_P(LiveBusSave, MovingValuesAreSavedAndNamed) {
    const int behaviour = GetParam();   // still, counter, wandering, garbled, counter on a garbling line
    std::string bus = "device 1 PUMPCTRL\n password 0x7654321\n param 0100 4 1000\n param 0102 8 23456 ext\n";
    if (behaviour == 1 || behaviour == 4) bus += " count 0100\n count 0102\n";
    if (behaviour == 2) bus += " wander 0100 3\n wander 0102 3\n";
    std::vector<std::string> faults;
    if (behaviour >= 3) faults = {"--lose-digit-pairs", "150000", "--fault-seed", "5"};
    const std::string pty = startBus(0, bus, faults);
    ASSERT_FALSE(pty.empty());
    fs::create_directory(inst.file("saved"));
    EXPECT_EQ(run({"--save", "saved/", "--port", pty}), 0) << inst.read("job.err");
    const std::string err = inst.read("job.err");
    EXPECT_EQ(err.find("changed while they were read") != std::string::npos, behaviour == 1 || behaviour == 2 ||
                                                                                 behaviour == 4)
        << err;
    RecordingOperator op;
    DeviceLink noDevice;
    AppContext ctx(noDevice, &op);
    MemoryStream saved;
    std::string file;
    for (const auto& entry : fs::directory_iterator(inst.file("saved")))
        if (entry.path().extension() == ".NFO") file = entry.path().string();
    ASSERT_TRUE(readSealedFile(ctx, file, saved)) << file;
    EXPECT_NE(saved.str().find("#PSWD: 731241441 "), std::string::npos) << saved.str();
    if (behaviour == 0 || behaviour == 3) {
        EXPECT_NE(saved.str().find("#CODE: 100  #DATA: 1000 "), std::string::npos) << saved.str();
        EXPECT_NE(saved.str().find("#CODE: 102  #DATA: 23456 "), std::string::npos) << saved.str();
    }
}

INSTANTIATE_TEST_SUITE_P(EveryBehaviour, LiveBusSave, testing::Range(0, 5));
