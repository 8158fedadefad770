// The boxed report: byte for byte against golden files checked by hand, and
// the rules for where its table ends.
#include <gmock/gmock.h>

#include "files/AtomicFile.h"
#include "files_support.h"

using ::testing::ElementsAre;

namespace {

// Address 0x1F, version 3, release 7; a value of 4294967295; a description of
// 100 characters without separators (0102), one of more than 16 lines (0104),
// none at all (0106); on and off values; a parameter without "#FREE: " (0106).
const std::string kText =
    "#DATE: 01-02-2003  \n#NAME: PUMP01  \n#ADDR: 1F  \n#VER.: 3  \n#REL.: 7  \n#PVER: 2  \n#PSWD: 17  "
    "\n#FREE: 100\n#CODE: 100  #DATA: 4294967295  "
    "\n#FREE: 102\n#CODE: 102  #DATA: 0  "
    "\n#FREE: 104\n#CODE: 104  #DATA: ON  "
    "\n#CODE: 106  #DATA: OFF  "
    "\n#FREE: 108\n#CODE: 108  #DATA: 77  ";
const std::string kFileEnd = "\n\n#END.: 1234";

std::vector<std::string> linesOf(const std::string& report) {
    std::vector<std::string> lines;
    size_t pos = 0;
    for (size_t at = report.find("\r\n"); at != std::string::npos; at = report.find("\r\n", pos)) {
        lines.push_back(report.substr(pos, at - pos));
        pos = at + 2;
    }
    lines.push_back(report.substr(pos));
    return lines;
}

}  // namespace

class ReportTest : public FilesTest {
protected:
    std::string report(const std::string& text, bool all, const std::string& name = "r.NFO") {
        MemoryStream s = streamOf(text);
        op.clear();
        if (!writeReport(ctx, dir.file(name), s, all)) return "(failed)";
        return readFile(dir.file(withDoc(name)));
    }
    static std::string withDoc(const std::string& name) { return name.substr(0, name.rfind('.')) + ".DOC"; }
};

TEST_F(ReportTest, AllParametersMatchTheGoldenReport) {
    std::string all = report(kText + kFileEnd, true);
    expectGolden("report-all.DOC", all);
    std::vector<std::string> lines = linesOf(all);
    for (const auto& line : lines) EXPECT_EQ(line.size(), 75u) << line;
    EXPECT_EQ(all.substr(all.size() - 2).find('\n'), std::string::npos);   // no final line break
    EXPECT_EQ(all.find("\n\n"), std::string::npos);
    EXPECT_EQ(lines[1], "   |Device name             : PUMP01                  QUENTARIVOLMS S.R.L.|");
    EXPECT_EQ(lines[2].substr(0, 33), "   |Bus address             : 1f ");
    EXPECT_EQ(lines[3].substr(0, 36), "   |Version                 : 03.07 ");
    EXPECT_EQ(lines[4].substr(0, 41), "   |Date of the report      : 07-06-2008 ");
    EXPECT_EQ(lines[8], "   |0100    |4294967295     |Pump speed setpoint, percent of the rated    |");
    EXPECT_EQ(lines[9], "   |        |               |speed.                                       |");
    EXPECT_EQ(lines[11], "   |0102    |0              |" + std::string(45, 'X') + "|");
    EXPECT_EQ(lines[13], "   |        |               |" + std::string(10, 'X') + std::string(35, ' ') + "|");
    EXPECT_EQ(lines[15].substr(0, 30), "   |0104    |On             |w");
    EXPECT_EQ(lines[31], "   +--------+---------------+---------------------------------------------+");   // 16 lines, cut
    EXPECT_EQ(lines[32], "   |0106    |Off            |(no description)                             |");
    EXPECT_EQ(lines[34].substr(0, 29), "   |0108    |77             |");
    EXPECT_EQ(lines.size(), 36u);
    EXPECT_TRUE(op.messages.empty());
}

TEST_F(ReportTest, FreeParametersOnlyMatchTheGoldenReport) {
    std::string free = report(kText, false);
    expectGolden("report-free.DOC", free);
    EXPECT_EQ(free.find("|0106"), std::string::npos);   // a "#CODE: " without "#FREE: " is passed over
    EXPECT_NE(free.find("|0108    |77"), std::string::npos);
}

TEST_F(ReportTest, TableEndsWhereTheRulesSay) {
    // Without "#END.: " a report of all parameters holds only the first block.
    std::string noEnd = report(kText, true);
    EXPECT_NE(noEnd.find("|0100"), std::string::npos);
    EXPECT_EQ(noEnd.find("|0102"), std::string::npos);
    // No "#FREE: " at all: the column titles and no rows.
    std::string noFree = report("#NAME: A\n#ADDR: 1\n#VER.: 1\n#REL.: 1\n#CODE: 100  #DATA: 5  ", false);
    EXPECT_EQ(linesOf(noFree).size(), 8u);
    // A "#FREE: " whose number differs from the next "#CODE: " ends the table.
    std::string mismatch = report("#NAME: A\n#ADDR: 1\n#VER.: 1\n#REL.: 1\n#FREE: 102\n#CODE: 100  #DATA: 5  ", false);
    EXPECT_EQ(linesOf(mismatch).size(), 8u);
    // An unreadable "#FREE: " number is passed over; the next pair still counts.
    std::string skipped =
        report("#NAME: A\n#ADDR: 1\n#VER.: 1\n#REL.: 1\n#FREE: zz\n#FREE: 100\n#CODE: 100  #DATA: 5  ", false);
    EXPECT_NE(skipped.find("|0100    |5  "), std::string::npos);
}

TEST_F(ReportTest, EndKeyPassedOverByTheWalkDoesNotEndTheTable) {
    // The "#END.: " in the middle lies more than a key's width past the row
    // before it and is then jumped over on the way to the next "#CODE: ";
    // the table ends only at the last one.
    const std::string head = "#NAME: A\n#ADDR: 1\n#VER.: 1\n#REL.: 1\n";
    std::string r = report(head + "#CODE: 100  #DATA: 1  #NOTE: #END.: 9 #CODE: 102  #DATA: 2  #CODE: 104  "
                                  "#DATA: 3  " + kFileEnd,
                           true);
    EXPECT_NE(r.find("|0100    |1  "), std::string::npos);
    EXPECT_NE(r.find("|0102    |2  "), std::string::npos);
    EXPECT_NE(r.find("|0104    |3  "), std::string::npos);
    // Directly after a row it ends the table.
    std::string cut = report(head + "#CODE: 100  #DATA: 1  #END.: 9 #CODE: 102  #DATA: 2  " + kFileEnd, true);
    EXPECT_NE(cut.find("|0100    |1  "), std::string::npos);
    EXPECT_EQ(cut.find("|0102"), std::string::npos);
}

TEST_F(ReportTest, ValuesNamesAndDescriptions) {
    const std::string head = "#NAME: CONTROLLER9\n#ADDR: 0\n#VER.: 12\n#REL.: 345\n";
    std::string r = report(head + "#CODE: 100  #DATA: ON#CODE: 102  #DATA: XYZ  #CODE: 104  #DATA: OFF  " + kFileEnd, true);
    EXPECT_NE(r.find(": CONTROLL "), std::string::npos);
    EXPECT_NE(r.find(": 00 "), std::string::npos);
    EXPECT_NE(r.find(": 12.345 "), std::string::npos);
    EXPECT_NE(r.find("|0100    |On             |"), std::string::npos);
    EXPECT_NE(r.find("|0102    |Off            |"), std::string::npos);
    EXPECT_NE(r.find("|0104    |Off            |"), std::string::npos);
    std::string blank = report("#NAME: PUMP 01\n#ADDR: 1\n#VER.: 1\n#REL.: 1\n", true);
    EXPECT_NE(blank.find(": PUMP     "), std::string::npos);
}

TEST_F(ReportTest, NoDescriptionCellWhenDescriptionAndItsStandInAreEmpty) {
    dir.write("m.txt", "8000>Name<END>8001>Address<END>8002>Version<END>");
    ASSERT_TRUE(ctx.texts.messages.Load(dir.file("m.txt")));
    std::string r = report("#NAME: A\n#ADDR: 1\n#VER.: 1\n#REL.: 1\n#CODE: 106  #DATA: 5  " + kFileEnd, true);
    std::vector<std::string> lines = linesOf(r);
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(lines[8], "   |0106    |5              |");
    EXPECT_EQ(lines[9], "   +--------+---------------+---------------------------------------------+");
}

TEST_F(ReportTest, MissingHeaderValueWritesNothingAndKeepsAnEarlierReport) {
    dir.write("r.DOC", "earlier report");
    for (const char* key : {"#NAME: ", "#ADDR: ", "#VER.: ", "#REL.: "}) {
        std::string text = kText;
        text.replace(text.find(key), 7, "#XXXX: ");
        EXPECT_EQ(report(text, true), "(failed)") << key;
        EXPECT_THAT(op.texts(), ElementsAre("text 4"));
        EXPECT_EQ(dir.read("r.DOC"), "earlier report");
    }
    EXPECT_EQ(report("#NAME: A\n#ADDR: zz\n#VER.: 1\n#REL.: 1\n", true), "(failed)");
    // A report that cannot be written at all.
    setFileWriteFault([](const std::string&) { return true; });
    EXPECT_EQ(report(kText, true), "(failed)");
    setFileWriteFault(nullptr);
    EXPECT_THAT(op.texts(), ElementsAre("text 4"));
    EXPECT_EQ(dir.read("r.DOC"), "earlier report");
}

TEST_F(ReportTest, ReportBesideAParameterFileKeepsItsFullBaseName) {
    MemoryStream s = streamOf(kText);
    ASSERT_TRUE(writeReport(ctx, dir.file("unit.old.NFO"), s, false));
    EXPECT_TRUE(fileExists(dir.file("unit.old.DOC")));
    EXPECT_FALSE(fileExists(dir.file("unit.DOC")));
    ASSERT_TRUE(writeSealedFile(ctx, dir.file("unit.old.NFO"), s));
    EXPECT_TRUE(fileExists(dir.file("unit.old.NFO")));
    EXPECT_FALSE(fileExists(dir.file("unit.NFO")));
    EXPECT_FALSE(fileExists(dir.file("unit.DOC")));
}
