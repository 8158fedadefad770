// "/l path": the first matching parameter file goes into the first device on
// the bus, against the in-process simulator.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "session/AppContext.h"
#include "app/BatchJobs.h"
#include "batch_support.h"
#include "files/MemoryStream.h"
#include "files/ParameterFiles.h"
#include "platform/TermiosPort.h"
#include "files_support.h"
#include "support/SimFixture.h"

namespace fs = std::filesystem;

namespace {

// Two devices; the job must pick the one at the lower address.
const char* kBus =
    "device 3 VALVE01\n version 2\n pversion 3\n"
    " param 0100 4 7\n param 0102 onoff off\n param 0104 2 9\n"
    "device 9 PUMPCTRL\n version 1\n param 0100 4 5\n";

std::string loadText(const std::string& name, const std::string& pver) {
    return "#DATE: 07-06-2008  \n#NAME: " + name + "  \n#ADDR: 3  \n#VER.: 2  \n#REL.: 0  \n#PVER: " +
           pver + "  \n#PSWD: 0  \n#FREE: 100\n#CODE: 100  #DATA: 42  \n#CODE: 102  #DATA: ON  ";
}

class BatchLoad : public BatchTest {
protected:
    void useBus(const std::string& text) {
        bus = std::make_unique<SimFixture>(SimFixture::fromText, text);
        ASSERT_EQ(bus->error, "");
        ctx.settings.serialPort = 1;
        bus->ctx.settings = ctx.settings;
        bus->ctx.texts = ctx.texts;
    }
    // The job runs on the bus's context once there is a bus.
    AppContext& job() { return bus ? bus->ctx : ctx; }
    void TearDown() override {
        bus.reset();
        BatchTest::TearDown();
    }
    // A sealed parameter file in the temporary directory.
    std::string parameterFile(const std::string& name, const std::string& text) {
        MemoryStream stream;
        stream.write(text);
        EXPECT_TRUE(writeSealedFile(ctx, dir.file(name), stream));
        return dir.file(name);
    }
    RecordingOperator& shown() { return bus->op; }
    std::vector<std::string> progressTexts() const {
        std::vector<std::string> out;
        for (const auto& p : bus->op.progress) out.push_back(p.caption);
        return out;
    }
    uint32_t param(uint8_t address, uint32_t key) { return bus->param(address, key).value_or(0xDEAD); }

    std::unique_ptr<SimFixture> bus;
};

}  // namespace

TEST_F(BatchLoad, LoadsTheFileIntoTheFirstDeviceAndRestartsIt) {
    useBus(kBus);
    std::string file = parameterFile("valve.NFO", loadText("VALVE01", "3"));
    EXPECT_EQ(runBatchJob(job(), "/l " + dir.file("val*.NFO")), 0);
    EXPECT_EQ(shown().texts(), std::vector<std::string>{"text 33029"});   // the one summary line
    EXPECT_EQ(param(3, 0x100), 42u);
    EXPECT_EQ(param(3, 0x102), 1u);
    EXPECT_EQ(param(3, 0x104), 0u);   // not in the file: cleared
    EXPECT_EQ(param(9, 0x100), 5u);   // the second device is left alone
    EXPECT_EQ(bus->writes(9), 0u);
    std::vector<std::string> progress = progressTexts();
    ASSERT_GE(progress.size(), 3u);
    EXPECT_EQ(progress[0], "text 769");
    EXPECT_EQ(progress[1], "text 770");
    EXPECT_EQ(progress.back(), "text 1061");
    EXPECT_EQ(bus->op.progress[1].maximum, 6u);   // the identity registers to read
    EXPECT_EQ(bus->op.progressDepth, 0);
    EXPECT_FALSE(bus->op.progressMisused);
    EXPECT_FALSE(bus->ctx.window().deviceSelected);
    EXPECT_FALSE(bus->link.isOpen());   // the port the job opened is closed again
    EXPECT_EQ(fs::current_path(), startDir);
}

// --address and --device pick a device other than the first; one the scan
// did not find is told and nothing is written.
TEST_F(BatchLoad, TheChosenDeviceIsLoaded) {
    useBus(kBus);
    parameterFile("pump.NFO", "#DATE: 07-06-2008  \n#NAME: PUMPCTRL  \n#ADDR: 9  \n#VER.: 1  \n#REL.: 0  \n#PVER: 1  "
                              "\n#PSWD: 0  \n#FREE: 100\n#CODE: 100  #DATA: 42  ");
    EXPECT_EQ(runBatchJob(job(), "/l " + dir.file("pump.NFO"), DeviceChoice{-1, "PUMPCTRL"}), 0);
    EXPECT_EQ(param(9, 0x100), 42u);
    EXPECT_EQ(bus->writes(3), 0u);
    for (const DeviceChoice& absent : {DeviceChoice{5, ""}, DeviceChoice{-1, "PUMP"}, DeviceChoice{3, "PUMPCTRL"}}) {
        shown().clear();
        EXPECT_EQ(runBatchJob(job(), "/l " + dir.file("pump.NFO"), absent), 1);
        EXPECT_EQ(shown().texts(), std::vector<std::string>{absent.address == 5 || absent.address == 3
                                                                ? "text 33292" : "text 33293"});
    }
    EXPECT_EQ(bus->writes(3), 0u);
}

TEST_F(BatchLoad, EmptyBusGivesText19) {
    useBus("# no devices\n");
    parameterFile("valve.NFO", loadText("VALVE01", "3"));
    EXPECT_EQ(runBatchJob(job(), "/l " + dir.file("valve.NFO")), 1);
    EXPECT_EQ(shown().texts(), std::vector<std::string>{"text 19"});
    EXPECT_EQ(progressTexts(), std::vector<std::string>{"text 769"});
    EXPECT_FALSE(bus->ctx.window().deviceSelected);
    EXPECT_EQ(fs::current_path(), startDir);
}

// A port that will not open says why (here: it does not exist) and scans nothing.
TEST_F(BatchLoad, APortThatWillNotOpenSaysWhyInsteadOfText19) {
    useBus(kBus);
    TempDir locks;
    auto port = std::make_unique<TermiosPort>();
    port->setLockDirectory(locks.path());
    bus->link.setTransport(std::move(port));
    const std::string missing = dir.file("ttyUSB7");
    bus->link.setPortResolver([missing](unsigned) { return missing; });
    parameterFile("valve.NFO", loadText("VALVE01", "3"));
    EXPECT_EQ(runBatchJob(job(), "/l " + dir.file("valve.NFO")), 1);
    EXPECT_EQ(shown().texts(), std::vector<std::string>{"text 33040"});
    EXPECT_TRUE(progressTexts().empty());
    EXPECT_EQ(bus->link.openFailure().problem, PortProblem::Missing);
    EXPECT_EQ(bus->link.openFailure().path, missing);
    EXPECT_EQ(fs::current_path(), startDir);
}

TEST_F(BatchLoad, MissingFileNeverTouchesThePort) {
    useBus(kBus);
    EXPECT_EQ(runBatchJob(job(), "/l " + dir.file("none*.NFO")), 2);
    EXPECT_EQ(shown().texts(), std::vector<std::string>{"text 2"});
    EXPECT_TRUE(shown().progress.empty());
    EXPECT_FALSE(bus->link.isOpen());
}

TEST_F(BatchLoad, RefusedLoadsEndWithStatus1AndLeaveTheDevice) {
    useBus(kBus);
    parameterFile("other.NFO", loadText("PUMPCTRL", "3"));   // the first device is VALVE01
    EXPECT_EQ(runBatchJob(job(), "/l " + dir.file("other.NFO")), 1);
    EXPECT_EQ(shown().texts(), std::vector<std::string>{"text 32784"});
    EXPECT_EQ(param(3, 0x100), 7u);

    // Another parameter version: the question is answered No.
    shown().clear();
    parameterFile("older.NFO", loadText("VALVE01", "2"));
    EXPECT_EQ(runBatchJob(job(), "/l " + dir.file("older.NFO")), 1);
    ASSERT_EQ(shown().questions.size(), 1u);
    EXPECT_EQ(shown().questions[0].text, "text 32788");
    EXPECT_TRUE(shown().messages.empty());
    EXPECT_EQ(param(3, 0x100), 7u);

    // Yes goes on with the load.
    shown().clear();
    shown().answers.push_back(true);
    EXPECT_EQ(runBatchJob(job(), "/l " + dir.file("older.NFO")), 0);
    EXPECT_EQ(param(3, 0x100), 42u);

    // A file that is not a parameter file.
    shown().clear();
    dir.write("junk.NFO", "#CBEG: nothing sealed here");
    EXPECT_EQ(runBatchJob(job(), "/l " + dir.file("junk.NFO")), 1);
    EXPECT_EQ(shown().texts(), std::vector<std::string>{"text 32783"});
}

TEST_F(BatchLoad, RestartThatNeverEndsGivesText1062) {
    useBus(kBus);
    bus->sim.bus.restartSilenceNs = 30'000'000'000;   // longer than the 10 s wait
    parameterFile("valve.NFO", loadText("VALVE01", "3"));
    EXPECT_EQ(runBatchJob(job(), "/l " + dir.file("valve.NFO")), 1);
    EXPECT_EQ(shown().texts(), std::vector<std::string>{"text 1062"});
    EXPECT_EQ(param(3, 0x100), 42u);   // the values went in before the restart
    EXPECT_FALSE(bus->ctx.window().deviceSelected);
}

// An adapter pulled at any point of the job ends it at once with the one
// message of the loss and status 1.
TEST_F(BatchLoad, AnAdapterPulledEndsTheJobWithOneMessage) {
    for (int bytes : {60, 150, 250}) {
        SCOPED_TRACE(bytes);
        useBus(kBus);
        parameterFile("valve.NFO", loadText("VALVE01", "3"));
        bus->line->unplugAfterWrites = bytes;
        EXPECT_EQ(runBatchJob(job(), "/l " + dir.file("valve.NFO")), 1);
        EXPECT_EQ(shown().texts(), std::vector<std::string>{"text 33051"});
        EXPECT_FALSE(bus->link.isOpen());
    }
}

TEST_F(BatchLoad, DeviceWithoutVersionIsNotLoaded) {
    // The name registers answer, the version register never does: the
    // identity would be a stale one, so nothing is written.
    useBus("device 3 VALVE01\n version 2\n pversion 3\n mute 32\n param 0100 4 7\n");
    parameterFile("valve.NFO", loadText("VALVE01", "3"));
    EXPECT_EQ(runBatchJob(job(), "/l " + dir.file("valve.NFO")), 1);
    EXPECT_EQ(shown().texts(), std::vector<std::string>{"text 3"});
    EXPECT_EQ(param(3, 0x100), 7u);
    EXPECT_EQ(bus->writes(3), 0u);
}

// With the backup and the read-back on, as an installation has them: a
// device that does not keep a value ends the job with status 1 and the table
// of differences; one that does gets "loaded and verified".
TEST_F(BatchLoad, ReadBackDecidesTheStatus) {
    useBus(kBus);
    bus->ctx.settings.installDirectory = dir.path();
    bus->ctx.settings.backupBeforeLoad = true;
    bus->ctx.settings.verifyAfterLoad = true;
    parameterFile("valve.NFO", loadText("VALVE01", "3"));
    EXPECT_EQ(runBatchJob(job(), "/l " + dir.file("valve.NFO")), 0);
    ASSERT_EQ(shown().messages.size(), 1u);
    EXPECT_EQ(shown().messages[0].text, "text 33029.\ntext 33074.\ntext 33079");
    EXPECT_EQ(shown().folders, std::vector<std::string>{dir.file("backups")});
    EXPECT_EQ(bus->device(3)->restarts, 2u);   // after the load, after the read-back
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.file("backups")), fs::directory_iterator()), 2);

    HookedOperator hooked;
    hooked.caption = "text 33073";
    hooked.onShow = [&] { bus->device(3)->parameter(0x100)->value = 41; };
    bus->ctx.setOperator(&hooked);
    EXPECT_EQ(runBatchJob(job(), "/l " + dir.file("valve.NFO")), 1);
    ASSERT_EQ(hooked.messages.size(), 1u);
    EXPECT_NE(hooked.messages[0].text.find("0100"), std::string::npos);
    EXPECT_NE(hooked.messages[0].text.find("text 33079"), std::string::npos);   // where the backup is
    EXPECT_FALSE(bus->link.isOpen());
    bus->ctx.setOperator(&bus->op);
}
