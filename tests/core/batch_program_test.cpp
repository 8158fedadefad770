// The batch jobs as an operator runs them: the built program, started without
// a display from an installation directory of its own, against the fieldsim
// program serving a bus on a pseudo-terminal.
#include <gtest/gtest.h>

#include <algorithm>
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
#include "link/DeviceLink.h"
#include "session/AppContext.h"
#include "platform/StderrOperator.h"
#include "sim/SimBus.h"
#include "support/ChildProcess.h"
#include "support/Support.h"
#include "texts/TextTable.h"

namespace fs = std::filesystem;

namespace {

const std::string kDist = FS_DIST_DIR;

// Runs argv in cwd without DISPLAY and WAYLAND_DISPLAY; its standard error
// goes to errPath, its standard input and output are pipes.
bool startWithoutDisplay(Child& child, const std::vector<std::string>& argv, const std::string& cwd,
                         const std::string& errPath) {
    ChildOptions how;
    how.workingDirectory = cwd;
    how.unsetEnv = {"DISPLAY", "WAYLAND_DISPLAY"};
    how.stderrFile = errPath;
    how.captureStdout = true;
    how.pipeStdin = true;
    return child.start(argv, how);
}

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
    }
    void configure(const std::string& portDevice) {
        inst.write("config.ini", "[BASIC Configurations]\nlanguage=eng\nserial_port=1\nconnect_on_startup=0\n"
                                 "[Port Devices]\ncom1=" + portDevice + "\n");
    }
    void parameterFile(const std::string& name, const std::string& text) {
        MemoryStream stream;
        stream.write(text);
        ASSERT_TRUE(writeSealedFile(ctx, inst.file(name), stream));
    }
    int runJob(const std::string& option, const std::string& path, int timeoutMs) {
        Child job;
        EXPECT_TRUE(startWithoutDisplay(job, {kDist + "/fieldservice", option, path}, inst.path(), inst.file("job.err")));
        return job.exitCode(timeoutMs);
    }
    // The job with DISPLAY naming an X display nobody serves, as under cron
    // or after the ssh connection that forwarded it dropped.
    int runJobWithDeadDisplay(const std::string& option, const std::string& path, int timeoutMs) {
        unsigned number = 97;
        while (fs::exists("/tmp/.X11-unix/X" + std::to_string(number))) ++number;
        ChildOptions how;
        how.workingDirectory = inst.path();
        how.setEnv = {{"DISPLAY", ":" + std::to_string(number)}};
        how.unsetEnv = {"WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};
        how.stderrFile = inst.file("job.err");
        how.captureStdout = true;
        how.pipeStdin = true;
        Child job;
        EXPECT_TRUE(job.start({kDist + "/fieldservice", option, path}, how));
        return job.exitCode(timeoutMs);
    }

    TempDir inst;
    RecordingOperator op;   // for the files this process writes
    DeviceLink noDevice;
    AppContext ctx{noDevice, &op};
};

}  // namespace

TEST_F(BatchProgram, LoadsTheFirstDeviceOverATerminal) {
    inst.write("test.bus",
               "device 3 VALVE01\n version 2\n pversion 3\n"
               " param 0100 4 7\n param 0102 onoff off\n param 0104 2 9\n"
               "device 9 PUMPCTRL\n version 1\n param 0100 4 5\n");
    Child sim;
    ASSERT_TRUE(startWithoutDisplay(sim, {kDist + "/fieldsim", "--exit-on-stdin-eof", "--restart-ms", "200", "--state",
                                          inst.file("state.bus"), inst.file("test.bus")},
                                    inst.path(), inst.file("sim.err")));
    std::string pty = sim.readLine(10000);
    ASSERT_FALSE(pty.empty()) << inst.read("sim.err");
    configure(pty);
    parameterFile("valve.NFO",
                  "#DATE: 07-06-2008  \n#NAME: VALVE01  \n#ADDR: 3  \n#VER.: 2  \n#REL.: 0  \n#PVER: 3  "
                  "\n#PSWD: 0  \n#FREE: 100\n#CODE: 100  #DATA: 42  \n#CODE: 102  #DATA: ON  ");

    EXPECT_EQ(runJob("/l", "val*.NFO", 120000), 0) << inst.read("job.err");
    // One summary line, no progress lines off a terminal.
    const std::string err = inst.read("job.err");
    EXPECT_TRUE(filledFrom("Field Service v1.10: Loaded valve.NFO into the device. 2 parameters loaded and verified. "
                           "The parameters the device had before the load are saved in %s\n", err)) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1);

    kill(sim.pid, SIGTERM);
    ASSERT_EQ(sim.exitCode(10000), 0) << inst.read("sim.err");
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
    Child sim;
    startWithoutDisplay(sim, {kDist + "/fieldsim", "--exit-on-stdin-eof", inst.file("empty.bus")}, inst.path(),
                        inst.file("sim.err"));
    std::string pty = sim.readLine(10000);
    ASSERT_FALSE(pty.empty()) << inst.read("sim.err");
    configure(pty);
    parameterFile("valve.NFO", "#DATE: 07-06-2008  \n#NAME: VALVE01  \n#ADDR: 3  \n#VER.: 2  \n#REL.: 0  "
                               "\n#PVER: 3  \n#PSWD: 0  \n#CODE: 100  #DATA: 42  ");
    EXPECT_EQ(runJob("/l", "valve.NFO", 120000), 1);
    ctx.texts.messages.Load(inst.file("messages.eng"));
    EXPECT_EQ(inst.read("job.err"),
              oneLine(ctx.texts.messages.Lookup(0)) + " v1.10: " + oneLine(ctx.texts.messages.Lookup(19)) + "\n");
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
    ctx.texts.messages.Load(inst.file("messages.eng"));
    EXPECT_EQ(inst.read("job.err"),
              oneLine(ctx.texts.messages.Lookup(0)) + " v1.10: " + oneLine(ctx.texts.messages.Lookup(32783)) +
                  "  bad.NFO\n");   // the file named after the text

    EXPECT_EQ(runJob("/c", "nothing*.NFO", 60000), 2);
    EXPECT_EQ(inst.read("job.err"),
              oneLine(ctx.texts.messages.Lookup(0)) + " v1.10: " + oneLine(ctx.texts.messages.Lookup(2)) + "\n");
}

TEST_F(BatchProgram, ConvertsWhenTheDisplayCannotBeOpened) {
    configure("/dev/null");
    parameterFile("good.NFO", "#DATE: 07-06-2008  \n#NAME: VALVE01  \n#ADDR: 3  \n#VER.: 2  \n#REL.: 0  "
                              "\n#PVER: 3  \n#PSWD: 0  \n#CODE: 100  #DATA: 42  ");
    fs::remove(inst.file("good.DOC"));
    EXPECT_EQ(runJobWithDeadDisplay("/c", "*.NFO", 60000), 0) << inst.read("job.err");
    EXPECT_TRUE(fs::exists(inst.file("good.DOC")));
}
