// Reading a device into a parameter text and the save command, against the
// in-process bus simulator.
#include <gmock/gmock.h>

#include "session/FileChooser.h"
#include "files/ParameterKeys.h"
#include "files_support.h"
#include "link/DeviceLink.h"
#include "support/SimFixture.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

// Address 0x1F, password 8 (octal 10); free and extended-only parameters,
// on/off ones, a value of 0 and one of 4294967295, a gap and a page crossing.
const char* kPumpBus =
    "device 31 PUMP01\n version 3\n release 7\n pversion 2\n password 8\n"
    " param 0100 4 300\n param 0102 onoff on\n param 0104 onoff off ext\n param 0106 2 0\n"
    " param 0108 8 4294967295 ext\n param 017e 6 123456\n param 0200 2 7\n end 0204\n";

std::string textOf(MemoryStream& s) { return s.str(); }

}  // namespace

class SaveTest : public FilesOnBusTest {};

TEST_F(SaveTest, ParameterTextOfAKnownDeviceMatchesItsGolden) {
    connect(kPumpBus, 31);
    MemoryStream s;
    ASSERT_TRUE(writeParameterText(sim->ctx, s));
    std::string text = textOf(s);
    expectGolden("parameter-text-PUMP01.txt", text);
    EXPECT_EQ(text.rfind("#DATE: 07-06-2008  \n#NAME: PUMP01    \n#ADDR: 1F  \n#VER.: 3  \n#REL.: 7  \n#PVER: 2  \n#PSWD: 10  ", 0), 0u);
    EXPECT_NE(text.find("\n#FREE: 100\n#CODE: 100  #DATA: 300  "), std::string::npos);
    EXPECT_NE(text.find("\n#CODE: 104  #DATA: OFF  "), std::string::npos);
    EXPECT_EQ(text.find("#FREE: 104"), std::string::npos);   // extended access only
    EXPECT_NE(text.find("#CODE: 108  #DATA: 4294967295  "), std::string::npos);
    EXPECT_NE(text.find("#FREE: 17E\n#CODE: 17E  #DATA: 123456  \n#FREE: 200"), std::string::npos);
    EXPECT_EQ(text.find('\r'), std::string::npos);
    EXPECT_NE(text.back(), '\n');
    EXPECT_TRUE(sim->op.messages.empty());
    EXPECT_FALSE(sim->op.progressMisused);
    // Progress: normal access, first pass, extended access, second pass.
    ASSERT_EQ(sim->op.progress.size(), 4u);
    EXPECT_EQ(sim->op.progress[1].caption, "Reading the parameter list");
    EXPECT_EQ(sim->op.progress[1].maximum, 0x7F7Eu);
    EXPECT_EQ(sim->op.progress[3].maximum, 0x0204u);   // the end learned in the first pass
}

TEST_F(SaveTest, TablesThatEndAtOnceOrLackTheFirstNumber) {
    connect("device 2 EMPTY\n end 0100\n", 2);
    MemoryStream s;
    ASSERT_TRUE(writeParameterText(sim->ctx, s));
    EXPECT_EQ(textOf(s), "#DATE: 07-06-2008  \n#NAME: EMPTY     \n#ADDR: 2  \n#VER.: 1  \n#REL.: 0  \n#PVER: 1  \n#PSWD: 0  ");

    connect("device 3 NOFIRST\n param 0104 2 9\n param 0106 onoff on\n", 3);
    MemoryStream t;
    ASSERT_TRUE(writeParameterText(sim->ctx, t));
    EXPECT_NE(textOf(t).find("\n#FREE: 104\n#CODE: 104  #DATA: 9  \n#FREE: 106\n#CODE: 106  #DATA: ON  "),
              std::string::npos);
    EXPECT_EQ(textOf(t).find("#CODE: 100"), std::string::npos);
}

TEST_F(SaveTest, SaveWritesBothFilesBesideTheChosenNameAndRestarts) {
    connect(kPumpBus, 31);
    Settings& settings = sim->ctx.settings;
    settings.user.documents = dir.file("Documents");
    settings.user.state = dir.file("state");
    std::filesystem::create_directory(settings.user.documents);
    sim->frame.idle = true;
    sim->op.files.push_back(dir.file("unit.txt"));
    saveParameterFile(sim->ctx);
    EXPECT_TRUE(sim->op.messages.empty());
    ASSERT_EQ(sim->op.choices.size(), 1u);
    EXPECT_EQ(sim->op.choices[0].filter, "Parameter files (*.NFO)|*.NFO|");
    EXPECT_EQ(sim->op.choices[0].defaultExtension, "NFO");
    // The first chooser starts in the documents folder and proposes a name;
    // the next one, in a later run too, where the operator chose.
    EXPECT_EQ(sim->op.choices[0].initialDirectory, settings.user.documents);
    EXPECT_EQ(sim->op.choices[0].proposedName, "PUMP01_1F_2008-06-07.NFO");
    settings.lastFolder.clear();
    EXPECT_EQ(chooserStartFolder(settings), dir.path());
    EXPECT_TRUE(fileExists(dir.file("unit.NFO")));
    EXPECT_TRUE(fileExists(dir.file("unit.DOC")));
    EXPECT_EQ(sim->device(31)->restarts, 1u);
    EXPECT_TRUE(sim->frame.idle);
    EXPECT_TRUE(sim->frame.deviceSelected);

    MemoryStream back;
    ASSERT_TRUE(readSealedFile(sim->ctx, dir.file("unit.NFO"), back));
    MemoryStream direct;
    ASSERT_TRUE(writeParameterText(sim->ctx, direct));
    EXPECT_EQ(back.str().substr(1, direct.length()), direct.str());

    sim->op.files.push_back(dir.file("nodot"));
    saveParameterFile(sim->ctx);
    EXPECT_TRUE(fileExists(dir.file("nodot.NFO")));
    EXPECT_TRUE(fileExists(dir.file("nodot.DOC")));

    sim->op.files.push_back(dir.file("unit.old.NFO"));
    saveParameterFile(sim->ctx);
    EXPECT_TRUE(fileExists(dir.file("unit.old.NFO")));
    EXPECT_TRUE(fileExists(dir.file("unit.old.DOC")));
}

// Files beside the chosen name are replaced only when the operator says so;
// one No and nothing is read or written. What was saved is told in passing.
TEST_F(SaveTest, ExistingFilesBesideTheChosenNameAreReplacedOnlyOnYes) {
    connect(kPumpBus, 31);
    dir.write("unit.NFO", "earlier");
    dir.write("unit.DOC", "earlier report");
    struct Case {
        const char* chosen;
        std::deque<bool> answers;
        size_t questions;
        bool written;
    };
    for (const Case& c : {Case{"unit.txt", {false}, 1, false}, Case{"unit.txt", {true, false}, 2, false},
                          Case{"unit.NFO", {false}, 1, false}, Case{"unit.NFO", {true}, 1, true}}) {
        sim->op.clear();
        sim->sim.clearLog();
        sim->op.answers = c.answers;
        sim->op.files.push_back(dir.file(c.chosen));
        saveParameterFile(sim->ctx);
        EXPECT_EQ(sim->op.questions.size(), c.questions) << c.chosen;
        EXPECT_EQ(readFile(dir.file("unit.DOC")) == "earlier report", !c.written) << c.chosen;
        if (!c.written) {
            EXPECT_EQ(readFile(dir.file("unit.NFO")), "earlier");
            EXPECT_TRUE(sim->sim.sentBytes().empty()) << c.chosen;   // the device was not even read
            EXPECT_THAT(sim->op.notices, IsEmpty());
        } else {
            ASSERT_EQ(sim->op.notices.size(), 1u);
            EXPECT_NE(sim->op.notices[0].find(dir.file("unit.NFO")), std::string::npos);
        }
    }
}

// A folder that cannot take the files is told before the device is read.
TEST_F(SaveTest, UnwritableFolderIsToldBeforeReading) {
    connect(kPumpBus, 31);
    sim->sim.clearLog();
    sim->op.files.push_back(dir.file("gone/unit.NFO"));
    saveParameterFile(sim->ctx);
    EXPECT_THAT(sim->op.texts(), ElementsAre("text 4"));
    EXPECT_TRUE(sim->sim.sentBytes().empty());
}

TEST_F(SaveTest, CancelledChooserLeavesTheDeviceAlone) {
    connect(kPumpBus, 31);
    sim->sim.clearLog();
    saveParameterFile(sim->ctx);
    EXPECT_TRUE(sim->sim.sentBytes().empty());
    EXPECT_EQ(sim->device(31)->restarts, 0u);
    EXPECT_TRUE(sim->frame.idle);
}

TEST_F(SaveTest, ReadFailureInTheSecondPassWritesNothingButRestarts) {
    connect(kPumpBus, 31);
    HookedOperator hooked;
    hooked.caption = "Reading the parameter values";
    hooked.onShow = [&] { sim->device(31)->mutedKeys.insert(0x0106); };
    sim->ctx.setOperator(&hooked);
    hooked.files.push_back(dir.file("unit"));
    saveParameterFile(sim->ctx);
    EXPECT_THAT(hooked.texts(), ElementsAre("text 3"));
    EXPECT_FALSE(fileExists(dir.file("unit.NFO")));
    EXPECT_FALSE(fileExists(dir.file("unit.DOC")));
    EXPECT_EQ(sim->device(31)->restarts, 1u);
    EXPECT_FALSE(hooked.progressMisused);
    EXPECT_EQ(hooked.progressDepth, 0);
}

TEST_F(SaveTest, AccessRefusedOrRestartLostAreReported) {
    connect(kPumpBus, 31);
    sim->device(31)->mutedKeys.insert(62);   // the access handshake never answers
    sim->op.files.push_back(dir.file("unit"));
    saveParameterFile(sim->ctx);
    EXPECT_THAT(sim->op.texts(), ElementsAre("text 1057"));
    EXPECT_FALSE(fileExists(dir.file("unit.NFO")));

    sim->device(31)->mutedKeys.clear();
    sim->op.clear();
    HookedOperator hooked;
    hooked.caption = "Restarting the device";
    hooked.onShow = [&] { sim->device(31)->vanished = true; };
    sim->ctx.setOperator(&hooked);
    hooked.files.push_back(dir.file("unit"));
    saveParameterFile(sim->ctx);
    EXPECT_THAT(hooked.texts(), ElementsAre("text 1062"));
    EXPECT_TRUE(fileExists(dir.file("unit.NFO")));
    EXPECT_FALSE(sim->frame.deviceSelected);
    EXPECT_TRUE(sim->frame.idle);
}

// Whatever the line loses or garbles, a save either writes exactly what a
// clean save writes, or nothing.
TEST_F(SaveTest, FaultyLineGivesTheCleanFileOrNone) {
    connect(kPumpBus, 31);
    sim->op.files.push_back(dir.file("clean"));
    saveParameterFile(sim->ctx);
    const std::string clean = readFile(dir.file("clean.NFO"));
    const std::string cleanReport = readFile(dir.file("clean.DOC"));
    ASSERT_FALSE(clean.empty());

    int written = 0;
    for (uint32_t seed = 1; seed <= 12; ++seed) {
        sim->faults({.seed = seed, .noAnswer = 60000, .brokenMarks = 30000, .corruptAck = 30000, .parity = 20000,
                     .framing = 20000});
        std::string name = "faulty" + std::to_string(seed);
        sim->op.files.push_back(dir.file(name));
        saveParameterFile(sim->ctx);
        sim->faultsOff();
        if (fileExists(dir.file(name + ".NFO"))) {
            ++written;
            EXPECT_EQ(readFile(dir.file(name + ".NFO")), clean) << "seed " << seed;
            EXPECT_EQ(readFile(dir.file(name + ".DOC")), cleanReport) << "seed " << seed;
        } else {
            EXPECT_FALSE(fileExists(dir.file(name + ".DOC")));
        }
        // Back to a selected device for the next round.
        if (!sim->frame.deviceSelected) {
            ASSERT_TRUE(sim->connect(31));
        }
    }
    EXPECT_GT(written, 0);
}
