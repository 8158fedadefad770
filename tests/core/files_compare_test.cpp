// Comparing parameter sets: a device of the in-process simulator with a
// sealed file, two sealed files, and the CSV export of the result.
#include <gmock/gmock.h>

#include "files/Compare.h"
#include "files_support.h"
#include "params/CsvFile.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

namespace {

// Every kind of difference against the file below: 0100 the same, 0102 an
// on/off state, 0104 a value (an extended-access parameter), 0106 only on
// the device, 0108 the same on/off state, 010a only in the file.
const char* kBus =
    "device 5 VALVE01\n version 2\n pversion 3\n"
    " param 0100 4 1000\n param 0102 onoff on\n param 0104 2 55 ext\n param 0106 4 7\n"
    " param 0108 onoff off\n end 010c\n";

const char* kFileText =
    "#DATE: 07-06-2008  \n#NAME: VALVE01   \n#ADDR: 5  \n#VER.: 2  \n#REL.: 0  \n#PVER: 3  \n#PSWD: 0  "
    "\n#FREE: 100\n#CODE: 100  #DATA: 1000  \n#CODE: 102  #DATA: OFF  \n#CODE: 104  #DATA: 56  "
    "\n#CODE: 108  #DATA: OFF  \n#CODE: 10A  #DATA: 3  ";

struct RowText {
    std::string number, left, right;
    bool operator==(const RowText&) const = default;
};
void PrintTo(const RowText& r, std::ostream* os) { *os << r.number << " " << r.left << "|" << r.right; }

}  // namespace

class CompareTest : public FilesOnBusTest {
protected:
    std::string writeFile(const std::string& name, const std::string& text) {
        MemoryStream s = streamOf(text);
        EXPECT_TRUE(writeSealedFile(ctx, dir.file(name), s));
        return dir.file(name + ".NFO");
    }
    static std::string header(const char* name, const char* address, const char* version, const char* password) {
        return std::string("#DATE: 07-06-2008  \n#NAME: ") + name + "  \n#ADDR: " + address +
               "  \n#VER.: 2  \n#REL.: 0  \n#PVER: " + version + "  \n#PSWD: " + password + "  \n#FREE: 100";
    }
    std::vector<RowText> rowTexts(const Comparison& c) {
        std::vector<RowText> out;
        for (const ComparedRow& r : c.rows)
            out.push_back({formatParameterNumber(r.number), comparedValueText(ctx.texts, r.left),
                           comparedValueText(ctx.texts, r.right)});
        return out;
    }
};

TEST_F(CompareTest, DeviceWithFileListsEveryKindOfDifferenceAndRestartsOnce) {
    const std::string file = writeFile("unit", kFileText);
    connect(kBus, 5);
    Comparison c;
    ASSERT_TRUE(compareDeviceWithFile(sim->ctx, file, c));
    EXPECT_THAT(sim->op.texts(), IsEmpty());
    EXPECT_FALSE(c.partial);
    EXPECT_THAT(rowTexts(c), ElementsAre(RowText{"0102", "On", "Off"}, RowText{"0104", "55", "56"},
                                         RowText{"0106", "7", ""}, RowText{"010a", "", "3"}));
    EXPECT_EQ(sim->device(5)->restarts, 1u);
    EXPECT_TRUE(sim->frame.deviceSelected);
    // The same rows as CSV, the table's texts in the value columns.
    EXPECT_NE(comparisonCsv(ctx.texts, c).find(",55,56\r\n0106,(no description),7,\r\n"), std::string::npos);

    // The device's own set written to a file compares with the first file alike.
    MemoryStream saved;
    ASSERT_TRUE(writeParameterText(sim->ctx, saved));
    const std::string deviceFile = writeFile("device", saved.str());
    Comparison files;
    ASSERT_TRUE(compareFiles(ctx, deviceFile, file, files));
    EXPECT_EQ(rowTexts(files), rowTexts(c));
    EXPECT_EQ(files.leftPath, deviceFile);
    EXPECT_EQ(files.leftName, "device.NFO");
}

// The comparison's load button loads as command 40012 does: after its
// question (No writes nothing), with a backup first when the settings ask
// for one.
TEST_F(CompareTest, LoadButtonAsksFirstAndTakesABackup) {
    const std::string file = writeFile("unit", kFileText);
    connect(kBus, 5);
    sim->ctx.settings.backupBeforeLoad = true;
    bool confirmed = true;
    EXPECT_FALSE(loadComparedFile(sim->ctx, file, &confirmed));
    EXPECT_FALSE(confirmed);
    EXPECT_EQ(sim->op.questions.size(), 1u);
    EXPECT_EQ(sim->device(5)->writes, 0u);
    EXPECT_FALSE(std::filesystem::exists(dir.file("backups")));
    sim->op.answers = {true};
    EXPECT_TRUE(loadComparedFile(sim->ctx, file, &confirmed));
    EXPECT_TRUE(confirmed);
    EXPECT_FALSE(std::filesystem::is_empty(dir.file("backups")));
    EXPECT_EQ(sim->param(5, 0x104), 56u);   // the file's value went in
}

TEST_F(CompareTest, DeviceThatStopsAnsweringGivesAPartialResult) {
    const std::string file = writeFile("unit", kFileText);
    connect(kBus, 5);
    sim->device(5)->mutedKeys.insert(0x106);
    Comparison c;
    ASSERT_TRUE(compareDeviceWithFile(sim->ctx, file, c));
    EXPECT_TRUE(c.partial);
    EXPECT_EQ(c.stoppedAt, 0x106u);
    // Nothing at or past the parameter it stopped at: the file's 010a is not
    // reported as missing on a device that was never asked for it.
    EXPECT_THAT(rowTexts(c), ElementsAre(RowText{"0102", "On", "Off"}, RowText{"0104", "55", "56"}));
    EXPECT_THAT(sim->op.texts(), ::testing::Contains("text 3"));
}

// The header against the device, a row each; a file of another device is
// said to be one. The password row tells set or not, never the digits.
TEST_F(CompareTest, IdentityRowsTellAFileOfAnotherDevice) {
    struct Case {
        const char *name, *address, *version, *password;
        uint32_t differing;   // the identity row's label, 0: none
    };
    const Case cases[] = {{"VALVE01 ", "5", "3", "0", 0},      {"PUMP02", "5", "3", "0", 0x81A2},
                          {"VALVE01 ", "9", "3", "0", 0x81A3}, {"VALVE01 ", "5", "3", "17", 0x81A4},
                          {"VALVE01 ", "5", "4", "0", 0x81A5}};
    connect(kBus, 5);
    int n = 0;
    for (const Case& k : cases) {
        SCOPED_TRACE(k.differing);
        const std::string text = header(k.name, k.address, k.version, k.password) + "\n#CODE: 100  #DATA: 1000  ";
        const std::string file = writeFile("unit" + std::to_string(++n), text);
        Comparison c;
        ASSERT_TRUE(compareDeviceWithFile(sim->ctx, file, c));
        EXPECT_EQ(c.otherDevice, k.differing == 0x81A2);
        ASSERT_EQ(c.identity.size(), 4u);
        for (const IdentityRow& row : c.identity) {
            EXPECT_EQ(row.differs, row.label == k.differing) << row.label;
            EXPECT_EQ(row.right.find("17"), std::string::npos);
        }
    }
}

// The odd texts the load takes, each read by the comparison and the
// read-back as the load writes it: after the load the device equals the file
// wherever both have the parameter, and the read-back finds nothing amiss.
TEST_F(CompareTest, ComparisonReadBackAndLoadReadPairsAlike) {
    struct Case {
        const char* pairs;
        RowText before;   // the row the comparison shows before the load
    };
    const Case cases[] = {
        {"\n#CODE: 100  #DATA: 1000  \n#CODE: 102  #DATA: on  ", {"0102", "On", "Off"}},
        {"\n#CODE: 102  #DATA: \n#CODE: 100  #DATA: 1000  ", {"0102", "On", "Off"}},
        {"\n#CODE: 101  #DATA: 77  \n#CODE: 103  #DATA: ON  ", {"0100", "1000", "77"}},
        {"\n#CODE: 100  #DATA: 5  \n#CODE: 101  #DATA: 66  \n#CODE: 102  #DATA: ON  ", {"0100", "1000", "66"}},
        {"\n#CODE: 102  #DATA: ON  \n#CODE: 100  #DATA: 12  \n#CODE: 104", {"0100", "1000", "12"}},
    };
    const char* bus =
        "device 5 VALVE01\n version 2\n pversion 3\n param 0100 4 1000\n param 0102 onoff on\n end 0104\n";
    int n = 0;
    for (const Case& k : cases) {
        SCOPED_TRACE(k.pairs);
        const std::string file = writeFile("unit" + std::to_string(++n), header("VALVE01", "5", "3", "0") + k.pairs);
        connect(bus, 5);
        sim->ctx.settings.verifyAfterLoad = true;
        Comparison c;
        ASSERT_TRUE(compareDeviceWithFile(sim->ctx, file, c));
        EXPECT_THAT(rowTexts(c), ElementsAre(k.before));
        sim->op.clear();
        sim->op.answers = {true};
        ASSERT_TRUE(loadComparedFile(sim->ctx, file));
        EXPECT_THAT(sim->op.texts(), ::testing::Contains(HasSubstr("verified")));
        ASSERT_TRUE(compareDeviceWithFile(sim->ctx, file, c));
        EXPECT_THAT(rowTexts(c), IsEmpty());
    }
}

TEST_F(CompareTest, FileThatDoesNotVerifyIsNotCompared) {
    const std::string good = writeFile("good", kFileText);
    const std::string bad = writeFile("bad", kFileText);
    std::string content = readFile(bad);
    content[content.find("#CBEG: ") + 20] ^= 0x01;
    std::ofstream(bad, std::ios::binary) << content;
    op.clear();
    Comparison c;
    EXPECT_FALSE(compareFiles(ctx, good, bad, c));
    ASSERT_EQ(op.messages.size(), 1u);
    EXPECT_THAT(op.messages[0].text, HasSubstr(bad));

    connect(kBus, 5);
    EXPECT_FALSE(compareDeviceWithFile(sim->ctx, bad, c));
    EXPECT_EQ(sim->device(5)->restarts, 0u);   // refused before the device was touched
}

TEST_F(CompareTest, CsvIntoAFolderThatTakesNoFileNamesTheFile) {
    // procfs takes no new file, whoever asks.
    const std::string path = "/proc/fieldservice-compare.csv";
    EXPECT_FALSE(writeCsvFile(ctx, path, "a,b\r\n"));
    ASSERT_EQ(op.messages.size(), 1u);
    EXPECT_EQ(op.messages[0].text, "text 4\r\n\r\n" + path);

    op.files.push_back(dir.file("out.csv"));
    EXPECT_TRUE(exportCsv(ctx, "a,b\r\n"));
    EXPECT_EQ(readFile(dir.file("out.csv")), "a,b\r\n");

    // A name chosen with the CSV filter but another dot in it still gets ".csv".
    op.files.push_back(dir.file("pump.2026-12-10"));
    EXPECT_TRUE(exportCsv(ctx, "a,b\r\n"));
    EXPECT_EQ(readFile(dir.file("pump.2026-12-10.csv")), "a,b\r\n");
    EXPECT_EQ(withCsvExtension("x.CSV"), "x.CSV");
}

TEST(CsvText, FieldsAreQuotedAndWindows1252BecomesUtf8) {
    EXPECT_EQ(csvRow({"plain", "a,b", "say \"hi\"", "caf\xE8", "\x80 5", "d\xC3\xA9j\xC3\xA0"}),
              "plain,\"a,b\",\"say \"\"hi\"\"\",caf\xC3\xA8,\xE2\x82\xAC 5,d\xC3\xA9j\xC3\xA0\r\n");
    EXPECT_EQ(csvNumber(2.5) + "," + csvNumber(uint64_t{4000000000}), "2.5,4000000000");   // never a locale comma
}
