// The load with a backup before it and a read-back after it, against the
// in-process bus simulator.
#include <gmock/gmock.h>

#include <filesystem>

#include "app/BatchJobs.h"
#include "files/SafeLoad.h"
#include "files_support.h"
#include "link/DeviceLink.h"
#include "session/ServiceJournal.h"
#include "support/SimFixture.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

namespace fs = std::filesystem;

namespace {

const char* kValveBus =
    "device 5 VALVE01\n version 2\n pversion 3\n password 4\n"
    " param 0100 4 1000\n param 0102 onoff on\n param 0104 2 55 ext\n param 0106 4 7\n end 0108\n";

const std::string kLoadText =
    "#DATE: 07-06-2008  \n#NAME: VALVE01   \n#ADDR: 5  \n#VER.: 2  \n#REL.: 0  \n#PVER: 3  \n#PSWD: 4  "
    "\n#FREE: 100\n#CODE: 100  #DATA: 1234  \n#CODE: 102  #DATA: OFF  \n#CODE: 104  #DATA: 12  "
    "\n#CODE: 106  #DATA: 99  ";

const char* kVerifyCaption = "Verifying the loaded parameters";

}  // namespace

class SafeLoadTest : public FilesOnBusTest {
protected:
    void SetUp() override {
        FilesOnBusTest::SetUp();
        ctx.settings.backupBeforeLoad = true;
        ctx.settings.verifyAfterLoad = true;
        MemoryStream text = streamOf(kLoadText);
        ASSERT_TRUE(writeSealedFile(ctx, dir.file("load"), text));
        connect(kValveBus, 5);
    }
    // The load command on the file, answering the chooser and Yes to the
    // question before the load.
    void load(RecordingOperator& op, const std::string& file = "load.NFO") {
        op.files.push_back(dir.file(file));
        op.answers.push_front(true);
        loadParameterFileCommand(sim->ctx);
    }
    SimDevice& valve() { return *sim->device(5); }
    std::string backup(const char* extension) { return dir.file("backups/VALVE01-05-20080607-000000.") + extension; }
    unsigned parameterWrites() {
        unsigned n = 0;
        for (const auto& [key, count] : valve().writesByKey)
            if (key >= 0x100) n += count;
        return n;
    }
};

// The backup is the save command's pair for the same device, and a load
// that went in is read back, counted and told in passing.
TEST_F(SafeLoadTest, BackupIsWhatTheSaveCommandWritesAndACleanLoadIsVerified) {
    sim->op.files.push_back(dir.file("saved"));
    saveParameterFile(sim->ctx);
    ASSERT_THAT(sim->op.texts(), IsEmpty());
    sim->op.clear();

    load(sim->op);
    EXPECT_THAT(sim->op.texts(), ElementsAre("Loaded " + dir.file("load.NFO") +
                                             ".\n4 parameters loaded and verified.\nBackup: " + backup("NFO")));
    EXPECT_THAT(sim->op.folders, ElementsAre(dir.file("backups")));
    ASSERT_EQ(sim->op.questions.size(), 1u);
    EXPECT_EQ(sim->op.questions[0].text, "Load " + dir.file("load.NFO") + " into VALVE01 at 05?");
    EXPECT_EQ(sim->op.questionsDefaultNo, std::vector<bool>{true});
    ASSERT_TRUE(fileExists(backup("NFO")));
    EXPECT_EQ(readFile(backup("NFO")), readFile(dir.file("saved.NFO")));
    EXPECT_EQ(readFile(backup("DOC")), readFile(dir.file("saved.DOC")));
    EXPECT_EQ(valve().parameter(0x100)->value, 1234u);
    EXPECT_EQ(valve().parameter(0x104)->value, 12u);
    EXPECT_THAT(sim->op.notices, ElementsAre("Backup saved to " + backup("NFO")));
    // Save, load and the read-back each end with a restart: no access stays open.
    EXPECT_EQ(valve().restarts, 3u);
    EXPECT_FALSE(valve().access);

    // A second load within the same second keeps the first backup.
    sim->op.clear();
    load(sim->op);
    EXPECT_TRUE(fileExists(dir.file("backups/VALVE01-05-20080607-000000-2.NFO")));
    EXPECT_EQ(readFile(backup("NFO")), readFile(dir.file("saved.NFO")));
}

// What the read-back finds when the device does not keep a value, stops
// answering one register, or goes silent altogether.
TEST_F(SafeLoadTest, ReadBackReportsDifferencesAndAPartialResult) {
    struct Case {
        const char* name;
        std::function<void(SimDevice&)> afterLoad;
        std::vector<std::string> inReport;
        std::vector<std::string> notInReport;
        unsigned restarts;
        std::vector<std::string> texts;
    };
    const std::vector<Case> cases = {
        {"refused value", [](SimDevice& d) { d.parameter(0x100)->value = 77; d.parameter(0x102)->value = 1; },
         {"2 parameters differ:", "0100    Pump speed setpoint, percent of   1234        77",
          "0102    XXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXX  Off         On", "Backup: "},
         {"PARTIAL"}, 2, {}},
        {"one register falls silent", [](SimDevice& d) { d.parameter(0x100)->value = 77; d.mutedKeys = {0x104}; },
         {"PARTIAL: 2 of 4 checked", "1 parameters differ:", "0100 ", "Backup: "}, {"0102 "}, 2, {}},
        {"second read unanswered",
         [](SimDevice& d) { d.parameter(0x100)->value = 77; d.readsBeforeMute[0x100] = 1; },
         {"PARTIAL: 0 of 4 checked", "1 parameters differ:", "(no answer)", "Backup: "}, {"The rest agrees"}, 2, {}},
        {"parameter gone after the restart", [](SimDevice& d) { d.parameters.erase(0x104); },
         {"Not available: 0104", "Backup: "}, {"PARTIAL", "differ"}, 2, {}},
        {"device vanishes", [](SimDevice& d) { d.vanished = true; },
         {"PARTIAL: 0 of 4 checked", "Backup: "}, {"differ", "The rest agrees"}, 1, {"text 1057", "text 1062"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        connect(kValveBus, 5);
        HookedOperator hooked;
        hooked.caption = c.texts.empty() ? kVerifyCaption : "Opening parameter access";
        SimDevice* device = &valve();
        bool loaded = false;
        hooked.onShow = [&] {
            // The load's own access handshakes come first; act on the read-back's.
            if (hooked.caption == kVerifyCaption || device->restarts == 1) {
                if (!loaded) c.afterLoad(*device);
                loaded = true;
            }
        };
        sim->ctx.setOperator(&hooked);
        load(hooked);
        ASSERT_TRUE(loaded);
        ASSERT_EQ(hooked.messages.size(), c.texts.size() + 1);
        const std::string report = hooked.messages.back().text;
        for (const std::string& s : c.inReport) EXPECT_THAT(report, HasSubstr(s));
        for (const std::string& s : c.notInReport) EXPECT_THAT(report, Not(HasSubstr(s)));
        for (size_t i = 0; i < c.texts.size(); ++i) EXPECT_EQ(hooked.messages[i].text, c.texts[i]);
        EXPECT_THAT(hooked.notices, Not(::testing::Contains(HasSubstr("verified"))));
        EXPECT_EQ(device->restarts, c.restarts);
        EXPECT_EQ(hooked.progressDepth, 0);
        sim->ctx.setOperator(&sim->op);
        fs::remove_all(dir.file("backups"));
    }
}

// A backups folder that cannot be made: the user's data folder takes the
// backup; without one the operator decides (No the default), and No
// leaves the device as it was.
TEST_F(SafeLoadTest, BackupThatCannotBeWrittenAsksBeforeLoading) {
    dir.write("backups", "a plain file where the folder should be");
    sim->ctx.settings.user.data = dir.file("backups/data");
    const unsigned before = parameterWrites();
    load(sim->op);
    ASSERT_EQ(sim->op.questions.size(), 2u);
    EXPECT_EQ(sim->op.questionsDefaultNo, (std::vector<bool>{true, true}));
    EXPECT_EQ(sim->op.questions[1].text,
              "No backup (" + dir.file("backups") + ", " + dir.file("backups/data/backups") + "). Load without one?");
    EXPECT_EQ(parameterWrites(), before);
    EXPECT_EQ(valve().parameter(0x100)->value, 1000u);
    EXPECT_THAT(sim->op.notices, IsEmpty());
    EXPECT_EQ(valve().restarts, 1u);   // the load command's restart closes the check's access

    HookedOperator hooked;
    hooked.caption = kVerifyCaption;
    hooked.answers.push_back(true);
    hooked.onShow = [&] { valve().parameter(0x106)->value = 5; };
    sim->ctx.setOperator(&hooked);
    load(hooked);
    EXPECT_EQ(hooked.questions.size(), 2u);
    EXPECT_EQ(valve().parameter(0x100)->value, 1234u);
    ASSERT_EQ(hooked.messages.size(), 1u);
    EXPECT_THAT(hooked.messages[0].text, HasSubstr("0106 "));
    EXPECT_THAT(hooked.messages[0].text, HasSubstr("No backup"));

    sim->ctx.settings.user.data = dir.file("data");
    sim->op.clear();
    sim->ctx.setOperator(&sim->op);
    load(sim->op);
    EXPECT_EQ(sim->op.questions.size(), 1u);
    EXPECT_TRUE(fileExists(dir.file("data/backups/VALVE01-05-20080607-000000.NFO")));
}

// A file that does not verify is refused before any backup is taken.
TEST_F(SafeLoadTest, UnverifiableFileTakesNoBackup) {
    std::string sealed = readFile(dir.file("load.NFO"));
    sealed[sealed.size() - 1] ^= 1;   // the checksum's last digit
    dir.write("bad.NFO", sealed);
    load(sim->op, "bad.NFO");
    EXPECT_THAT(sim->op.texts(), ElementsAre("text 32783"));
    EXPECT_FALSE(fs::exists(dir.file("backups")));
    EXPECT_EQ(parameterWrites(), 0u);
    EXPECT_EQ(valve().restarts, 0u);   // nothing was opened, nothing to close
}

// A load the device stops half way is put back from its backup at once, in
// the window and in a batch job alike; the message names the parameter, the
// backup and whether putting back succeeded. A device refusing a value above
// its range is put back whole; one lost during the load and the putting
// back is left as it is, marked partial.
TEST_F(SafeLoadTest, AStoppedLoadPutsTheDeviceBackFromItsBackup) {
    const fs::path startDir = fs::current_path();
    for (int run = 0; run < 4; ++run) {
        const bool batch = run & 1, lineLost = run & 2;
        SCOPED_TRACE(run);
        connect((std::string(kValveBus) + " limit 0106 50\n").c_str(), 5);
        fs::remove_all(dir.file("backups"));
        HookedOperator hooked;
        hooked.caption = "Writing the parameter values";
        if (lineLost) hooked.onShow = [&] { valve().mutedKeys = {0x104}; };
        sim->ctx.setOperator(&hooked);
        if (batch) {
            EXPECT_EQ(runBatchJob(sim->ctx, "/l " + dir.file("load.NFO")), 1);
        }
        if (!batch) load(hooked);
        fs::current_path(startDir);
        ASSERT_EQ(hooked.messages.size(), 1u);
        // Refused: the value and the refusal named, and only what the load wrote put back and read back.
        // Lost: the put-back stops where the line did, and the message says what the device holds.
        const uint32_t at = lineLost ? 0x104 : 0x106;
        const std::string where = formatParameterNumber(at) + " (" + parameterDescription(sim->ctx.texts, at) + ")";
        const std::string putBack = lineLost ? "PARTIAL: putting back from " + backup("NFO") + " stopped at " + where +
                                                   " Zeros from 0104 Load " + backup("NFO")
                                             : "Put back from " + backup("NFO");
        EXPECT_EQ(hooked.messages[0].text, "Loading " + dir.file("load.NFO") + " stopped at " + where +
                                               (lineLost ? ": no answer" : ": refused 99") + "\n\n" + putBack);
        EXPECT_THAT(hooked.folders, ElementsAre(dir.file("backups")));
        if (!lineLost) {
            EXPECT_EQ(valve().parameter(0x100)->value, 1000u);   // the backup's, not the file's 1234
            EXPECT_EQ(valve().parameter(0x106)->value, 7u);
        }
        sim->ctx.setOperator(&sim->op);
    }
}


// A load that stops at each of its stages, on a line that stays good or is
// lost again at once: what the device holds afterwards is what the message
// says and what the history records, only what the load wrote is put back,
// and a batch load still ends with the release of the bus.
enum class Stage { Address, Password, Access, FirstValue, MiddleValue, LastValue, Restart };
uint32_t limitedKey(Stage stage) {
    return stage == Stage::FirstValue ? 0x100 : stage == Stage::MiddleValue ? 0x104 : 0x106;
}

class StoppedLoad : public SafeLoadTest, public testing::WithParamInterface<std::tuple<Stage, bool>> {};

TEST_P(StoppedLoad, PutsBackWhatItWroteAndSaysWhatTheDeviceHolds) {
    const auto [stage, lostAgain] = GetParam();
    // The file's values 1234/OFF/77/99 against the device's 1000/ON/55/7;
    // each value stage is a limit that refuses the file's value and takes the backup's.
    MemoryStream text = streamOf("#DATE: 07-06-2008  \n#NAME: VALVE01   \n#ADDR: 5  \n#VER.: 2  \n#REL.: 0  \n"
                                 "#PVER: 3  \n#PSWD: 4  \n#CODE: 100  #DATA: 1234  \n#CODE: 102  #DATA: OFF  \n"
                                 "#CODE: 104  #DATA: 77  \n#CODE: 106  #DATA: 99  ");
    ASSERT_TRUE(writeSealedFile(ctx, dir.file("stage"), text));
    std::string bus = kValveBus;
    if (stage == Stage::FirstValue) bus += " limit 0100 1100\n";
    if (stage == Stage::MiddleValue) bus += " limit 0104 60\n";
    if (stage == Stage::LastValue) bus += " limit 0106 50\n";
    connect(bus.c_str(), 5);
    ServiceJournal journal(dir.file("history.sqlite"));
    sim->ctx.journal = &journal;
    // The fault starts with the load's first write of its register; lost
    // again, the device is gone once the load has stopped.
    const uint8_t faultByte = stage == Stage::Address ? 0x3D : stage == Stage::Restart ? 0x3B : 0x31;
    const uint32_t muted = stage == Stage::Address ? 60 : stage == Stage::Password ? 48 : 62;
    unsigned tries = 0;
    uint8_t previous = 0;
    bool armed = false;
    SimDevice& d = valve();
    const auto logged = sim->sim.wire.logSink;   // the simulator's own wire log goes on
    sim->sim.wire.logSink = [&](const WireLogEntry& e) {
        logged(e);
        const bool identity = stage == Stage::Address || stage == Stage::Password || stage == Stage::Access;
        if (e.fromMaster && e.byte == faultByte && (identity || stage == Stage::Restart)) {
            if (stage == Stage::Restart) d.vanished = true;
            if (identity && ++tries == 1) d.mutedKeys.insert(muted);
        }
        // A value stage stops on the refusal of the limited key's write (key bytes, value, 0x1E).
        const uint32_t limited = limitedKey(stage);
        if (e.fromMaster) armed = armed || (previous == ((limited & 0xFF) | 1) && e.byte == (limited >> 8));
        const bool stopped = identity ? e.fromMaster && e.byte == (stage == Stage::Access ? 0x3F : faultByte) &&
                                            tries >= (stage == Stage::Access ? 1u : 10u)
                                      : !e.fromMaster && armed && e.byte == 0x1E;
        if (!e.fromMaster) armed = false;
        if (e.fromMaster) previous = e.byte;
        if (lostAgain && stopped && (stage != Stage::Access || d.mutedKeys.count(62))) d.vanished = true;
    };
    EXPECT_EQ(runBatchJob(sim->ctx, "/l " + dir.file("stage.NFO")), 1);
    EXPECT_EQ(sim->sim.sentBytes().back(), 0xFF) << "the load ends with the release of the bus";
    sim->sim.wire.logSink = logged;

    const std::vector<uint32_t> held = {d.parameter(0x100)->value, d.parameter(0x102)->value, d.parameter(0x104)->value,
                                        d.parameter(0x106)->value};
    const std::string told = testing::PrintToString(sim->op.texts());
    const std::vector<std::vector<uint32_t>> leftByLoad = {
        {0, 0, 0, 0}, {1234, 0, 0, 0}, {1234, 0, 77, 0}};   // stopped at the first, middle, last value
    const bool valueStage = stage == Stage::FirstValue || stage == Stage::MiddleValue || stage == Stage::LastValue;
    if (stage == Stage::Restart) {
        EXPECT_EQ(held, (std::vector<uint32_t>{1234, 0, 77, 99}));   // the file went in
    } else if (valueStage && lostAgain) {
        EXPECT_EQ(held, leftByLoad[size_t(stage) - size_t(Stage::FirstValue)]) << told;
        EXPECT_THAT(told, HasSubstr("Zeros from " + formatParameterNumber(limitedKey(stage))));
    } else {
        // Put back, or never changed: the parameters are the device's own.
        EXPECT_EQ(held, (std::vector<uint32_t>{1000, 1, 55, 7})) << told;
        EXPECT_EQ(d.password, 4u);
        EXPECT_EQ(d.address, 5u);
    }
    if (valueStage && !lostAgain) {
        EXPECT_THAT(told, HasSubstr(": refused "));
        EXPECT_THAT(told, HasSubstr("Put back from " + backup("NFO")));
    }
    if (stage == Stage::Address || stage == Stage::Password) {
        EXPECT_THAT(told, HasSubstr("before the parameters: no answer to"));
    }

    // The history: the load's entry failed, says why, and holds only what was written.
    const std::vector<JournalRow> rows = journal.entries(JournalQuery{});
    ASSERT_FALSE(rows.empty());
    const JournalRow loadRow = *std::find_if(rows.begin(), rows.end(), [](const JournalRow& r) {
        return r.operation == JournalOperation::Load;
    });
    EXPECT_EQ(loadRow.outcome, JournalOutcome::Failed);
    EXPECT_FALSE(loadRow.detail.empty());
    const bool putBackEntry = std::any_of(rows.begin(), rows.end(), [](const JournalRow& r) {
        return r.operation == JournalOperation::PutBack;
    });
    EXPECT_EQ(putBackEntry, stage != Stage::Restart) << loadRow.detail;
    for (const JournalValue& v : journal.values(loadRow.id)) {
        SCOPED_TRACE(formatParameterNumber(v.number));
        ASSERT_TRUE(v.outcome);
        if (valueStage && !lostAgain && *v.outcome != ValueOutcome::Refused) {
            EXPECT_EQ(*v.outcome, ValueOutcome::PutBack);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EveryStage, StoppedLoad,
                         testing::Combine(testing::Values(Stage::Address, Stage::Password, Stage::Access,
                                                          Stage::FirstValue, Stage::MiddleValue, Stage::LastValue,
                                                          Stage::Restart),
                                          testing::Bool()));

// A file that would move the device onto an address another device answers
// at: the batch job refuses before anything is read or written; asked in the
// window, No does the same and Yes loads.
TEST_F(SafeLoadTest, AFileMovingTheDeviceOntoAnotherDevicesAddressIsAskedAbout) {
    MemoryStream text = streamOf("#DATE: 07-06-2008  \n#NAME: VALVE01   \n#ADDR: 9  \n#VER.: 2  \n#REL.: 0  \n"
                                 "#PVER: 3  \n#PSWD: 4  \n#CODE: 100  #DATA: 1234  ");
    ASSERT_TRUE(writeSealedFile(ctx, dir.file("moved"), text));
    for (int answer = -1; answer <= 1; ++answer) {   // batch, No, Yes
        SCOPED_TRACE(answer);
        connect((std::string(kValveBus) + "device 9 OTHER\n").c_str(), 5);
        if (answer < 0) {
            EXPECT_EQ(runBatchJob(sim->ctx, "/l " + dir.file("moved.NFO")), 1);
        } else {
            sim->op.answers = {true, answer == 1};   // load the file?; load it onto address 09?
            loadFileIntoDevice(sim->ctx, dir.file("moved.NFO"));
        }
        ASSERT_FALSE(sim->op.questions.empty());
        EXPECT_THAT(sim->op.questions.back().text, HasSubstr("09"));
        const SimDevice& moved = *sim->sim.bus.devices().front();   // VALVE01
        EXPECT_EQ(moved.address, answer == 1 ? 9u : 5u);
        EXPECT_EQ(moved.writesByKey.count(0x100), answer == 1 ? 1u : 0u);
    }
}
