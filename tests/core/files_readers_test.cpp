// The small pieces the parameter files rest on: the scanf-style readers, the
// names beside a parameter file, the in-memory stream, the free list and
// the wrapping of descriptions.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "files/FileNames.h"
#include "files/FreeList.h"
#include "files/MemoryStream.h"
#include "files/ParameterFiles.h"
#include "files/ScanfLike.h"
#include "support/Support.h"
#include "texts/TextTable.h"

namespace {

uint32_t hexOf(std::string_view s) { return scanHex(s).value().value; }
uint32_t decOf(std::string_view s) { return scanDecimal(s).value().value; }

}  // namespace

TEST(ScanfLike, NumbersSkipWhiteSpaceAndStopAtTheFirstMisfit) {
    EXPECT_EQ(hexOf("1A2  #DATA: "), 0x1A2u);
    EXPECT_EQ(hexOf("1a2"), 0x1A2u);
    EXPECT_EQ(hexOf(" \t\r\n\v\f1F"), 0x1Fu);
    EXPECT_EQ(scanHex("1A2  ")->used, 3u);
    EXPECT_EQ(decOf("300  \n#CODE"), 300u);
    EXPECT_EQ(decOf("1a2"), 1u);
    EXPECT_EQ(scanOctal("17  ")->value, 15u);
    EXPECT_EQ(scanOctal("89"), std::nullopt);
    EXPECT_EQ(scanDecimal("ON  "), std::nullopt);
    EXPECT_EQ(scanHex("#CODE"), std::nullopt);
    EXPECT_EQ(scanHex(""), std::nullopt);
    EXPECT_EQ(scanHex("   "), std::nullopt);
    EXPECT_EQ(scanDecimal("-"), std::nullopt);
}

TEST(ScanfLike, SignsAndPrefixesReadAsTheCLibraryReadsThem) {
    EXPECT_EQ(decOf("-1"), 4294967295u);
    EXPECT_EQ(decOf("+12"), 12u);
    EXPECT_EQ(hexOf("0X1f"), 0x1Fu);
    EXPECT_EQ(hexOf("0x"), 0u);
    EXPECT_EQ(scanHex("0xg")->used, 2u);
    EXPECT_EQ(decOf("0x1f"), 0u);   // decimal stops at the x
}

TEST(ScanfLike, ValuesBeyondThirtyTwoBitsSaturateInsteadOfWrapping) {
    EXPECT_EQ(decOf("4294967295"), 4294967295u);
    EXPECT_EQ(decOf("4294967296"), 4294967295u);
    EXPECT_EQ(decOf("99999999999999999999"), 4294967295u);
    EXPECT_EQ(scanDecimal("99999999999999999999")->used, 20u);
    EXPECT_EQ(decOf("-4294967296"), 4294967295u);
    EXPECT_EQ(hexOf("123456789"), 0xFFFFFFFFu);
    EXPECT_EQ(scanOctal("77777777777777777777777")->value, 0xFFFFFFFFu);
    std::string thousand(1000, '9');
    EXPECT_EQ(decOf(thousand), 4294967295u);
}

TEST(ScanfLike, ReadersNeverLookPastTheirRangeOrAZeroByte) {
    std::string text = "12345";
    EXPECT_EQ(scanDecimal(std::string_view(text).substr(0, 2))->value, 12u);
    std::string withZero("12\0" "34", 5);
    EXPECT_EQ(decOf(withZero), 12u);
    std::string zeroFirst("\0" "7", 2);
    EXPECT_EQ(scanDecimal(zeroFirst), std::nullopt);
    EXPECT_EQ(scanWord(std::string_view("AB\0CD", 5), 8)->word, "AB");
}

TEST(ScanfLike, WordsTakeAtMostTheirWidth) {
    EXPECT_EQ(scanWord("  ONXYZ", 3)->word, "ONX");
    EXPECT_EQ(scanWord("OFF  ", 3)->word, "OFF");
    EXPECT_EQ(scanWord("PUMP 01", 8)->word, "PUMP");
    EXPECT_EQ(scanWord("CONTROLLER9", 8)->word, "CONTROLL");
    EXPECT_EQ(scanWord(" \n ", 8), std::nullopt);
}

TEST(FileNames, OnlyTheFileNamesOwnExtensionIsReplaced) {
    EXPECT_EQ(withExtension("unit.txt", "NFO"), "unit.NFO");
    EXPECT_EQ(withExtension("unit", "NFO"), "unit.NFO");
    EXPECT_EQ(withExtension("unit.old.NFO", "DOC"), "unit.old.DOC");
    EXPECT_EQ(withExtension("/data/v1.2/unit", "DOC"), "/data/v1.2/unit.DOC");
    EXPECT_EQ(withExtension("/data/v1.2/unit.NFO", "DOC"), "/data/v1.2/unit.DOC");
    EXPECT_EQ(withExtension("./unit", "NFO"), "./unit.NFO");
    // A file and its partner share the case of their extensions.
    EXPECT_EQ(withExtension("x.nfo", "NFO"), "x.nfo");
    EXPECT_EQ(withExtension("x.nfo", "DOC"), "x.doc");
    EXPECT_EQ(withExtension("x.doc", "NFO"), "x.nfo");
    EXPECT_EQ(withExtension("X.Nfo", "NFO"), "X.Nfo");
    EXPECT_EQ(withExtension("X.Nfo", "DOC"), "X.DOC");
    EXPECT_EQ(withExtension("x.txt", "DOC"), "x.DOC");
    EXPECT_EQ(basePath("dir.d/"), "dir.d/");
}

// A claimed name is its stem and the extension after it, whatever dots the
// folder and the prefix hold; a name taken moves on to the next, anything
// else stops at once and says why.
TEST(FileNames, ClaimsTakeTheNextFreeNameAndStopAtAnyOtherFailure) {
    TempDir dir;
    std::filesystem::create_directories(dir.file("v1.2"));
    dir.write("v1.2/line3.v2_P_01.NFO", "taken");
    dir.write("v1.2/line3.v2_P_01-2.DOC", "a report holds the name too");
    std::filesystem::create_directories(dir.file("locked"));
    using std::filesystem::perms;
    std::filesystem::permissions(dir.file("locked"), perms::owner_read | perms::owner_exec);
    LanguageTexts texts;
    texts.messages.Load(FS_DIST_DIR "/messages.eng");
    struct Case {
        std::string base;
        int tries;
        std::string stem;   // empty: none claimed
        std::string says;
    };
    const Case cases[] = {
        {dir.file("v1.2/line3.v2_P_01"), 5, dir.file("v1.2/line3.v2_P_01-3"), ""},
        {dir.file("v1.2/line3.v2_P_01"), 2, "",
         "in " + dir.file("v1.2") + ": the names line3.v2_P_01 to line3.v2_P_01-2 are all taken."},
        {dir.file("gone/unit"), 100, "", "in " + dir.file("gone") + ": the folder does not exist."},
        {dir.file("locked/unit"), 100, "", "in " + dir.file("locked") + ": this user may not write in the folder."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.base);
        if (c.base.find("locked") != std::string::npos && geteuid() == 0) continue;   // root writes anywhere
        const NameClaim claim = claimFreeStem(c.base, c.tries);
        EXPECT_EQ(claim.stem, c.stem);
        if (!c.stem.empty()) EXPECT_TRUE(std::filesystem::exists(c.stem + ".NFO"));
        if (c.stem.empty()) EXPECT_NE(claimFailureText(texts, claim).find(c.says), std::string::npos)
            << claimFailureText(texts, claim);
    }
    std::filesystem::permissions(dir.file("locked"), perms::owner_all);
}

TEST(MemoryStream, WritesReadsAndGrowsInWholeSteps) {
    MemoryStream s;
    s.write("abc");
    EXPECT_EQ(s.length(), 3u);
    s.seek(1);
    s.write("XYZW");
    EXPECT_EQ(s.str(), "aXYZW");
    s.seek(0);
    char buf[8] = {};
    EXPECT_EQ(s.read(buf, sizeof buf), 5u);
    EXPECT_EQ(s.read(buf, sizeof buf), 0u);
    s.setLength(2);
    EXPECT_EQ(s.position(), 2u);
    s.setLength(4);
    EXPECT_EQ(s.str(), std::string("aX\0\0", 4));   // nothing old comes back
    s.seek(100);
    EXPECT_EQ(s.position(), 4u);
    MemoryStream big(1);
    std::string kb(5000, 'k');
    big.write(kb);
    EXPECT_EQ(big.str(), kb);
}

TEST(FreeList, HoldsEachNumberOnceInOrder) {
    FreeList list;
    for (uint32_t n : {0x104u, 0x100u, 0x104u, 0x7F7Eu}) list.add(n);
    EXPECT_EQ(list.size(), 3u);
    EXPECT_TRUE(list.contains(0x100));
    EXPECT_FALSE(list.contains(0x102));
    for (uint32_t n = 0x100; n < 0x100 + 2 * 200; n += 2) list.add(n);
    EXPECT_EQ(list.size(), 201u);
    list.clear();
    EXPECT_FALSE(list.contains(0x100));
}

TEST(WrapText, SplitsAtSeparatorsAndCutsLongWords) {
    std::vector<std::string> lines;
    EXPECT_EQ(wrapText(std::string(100, 'X'), lines, 45, 16), 3);
    EXPECT_EQ(lines[0].size(), 45u);
    EXPECT_EQ(lines[1].size(), 45u);
    EXPECT_EQ(lines[2].size(), 10u);

    EXPECT_EQ(wrapText("Valve: open on start/stop", lines, 12, 16), 3);
    EXPECT_EQ(lines[0], "Valve: open ");
    EXPECT_EQ(lines[1], "on start/");
    EXPECT_EQ(lines[2], "stop");

    // A line break inside a description stays inside the line's text.
    EXPECT_EQ(wrapText("ab\r\ncd", lines, 45, 16), 1);
    EXPECT_EQ(lines[0], "ab\r\ncd");

    std::string many;
    for (int i = 0; i < 40; ++i) many += "abcdefghij ";
    EXPECT_EQ(wrapText(many, lines, 22, 16), 16);
    EXPECT_EQ(lines[15], "abcdefghij abcdefghij ");
}

TEST(WrapText, DegenerateLimitsGiveNoLinesAndNeverLoop) {
    std::vector<std::string> lines;
    EXPECT_EQ(wrapText("", lines, 45, 16), 0);
    EXPECT_EQ(wrapText("text", lines, 45, 0), 0);
    EXPECT_EQ(wrapText("text", lines, 45, -3), 0);
    EXPECT_EQ(wrapText("text", lines, 0, 16), 0);
    EXPECT_EQ(wrapText("text", lines, -1, 16), 0);
    EXPECT_EQ(wrapText("a b", lines, 1, 16), 3);
}
