// The report viewer's and the parameter text editor's logic, without a screen.
#include <gmock/gmock.h>

#include "files/ViewerModel.h"
#include "files_support.h"
#include "support/SimFixture.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

const std::string kText =
    "#DATE: 07-06-2008  \n#NAME: VALVE01   \n#ADDR: 5  \n#VER.: 2  \n#REL.: 0  \n#PVER: 3  \n#PSWD: 4  "
    "\n#FREE: 100\n#CODE: 100  #DATA: 1234  \n#CODE: 102  #DATA: OFF  \n#FREE: 106\n#CODE: 106  #DATA: 9  ";

std::string crlf(const std::string& lf) {
    std::string out;
    for (char c : lf) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

}  // namespace

class ViewerTest : public FilesTest {
protected:
    void SetUp() override {
        FilesTest::SetUp();
        MemoryStream s = streamOf(kText);
        ASSERT_TRUE(writeSealedFile(ctx, dir.file("unit.NFO"), s));
        op.clear();
    }
};

TEST(ViewerText, LineEndsBecomeOneCrLfEachAndEmptyLinesCollapse) {
    EXPECT_EQ(normaliseLineEnds("a\r\nb"), "a\r\nb");
    EXPECT_EQ(normaliseLineEnds("a\n\rb"), "a\r\nb");
    EXPECT_EQ(normaliseLineEnds("a\nb\n"), "a\r\nb\r\n");
    EXPECT_EQ(normaliseLineEnds("a\n\nb"), "a\r\nb");
    EXPECT_EQ(normaliseLineEnds("a\n\n\nb"), "a\r\n\r\nb");
    EXPECT_EQ(normaliseLineEnds("a\rb"), "a\rb");
    EXPECT_EQ(normaliseLineEnds(""), "");
    EXPECT_EQ(cutAtEndKey("x\r\n#END.: 1234\r\n#END.: 1"), "x\r\n");
    EXPECT_EQ(cutAtEndKey("no key"), "no key");
}

TEST_F(ViewerTest, ReportViewShowsTheFullReportAndDeletesTheTemporaryReport) {
    ReportViewModel view(ctx, dir.file("unit.NFO"));
    std::string shown = view.open();
    EXPECT_THAT(op.texts(), IsEmpty());
    MemoryStream s = streamOf("\n" + kText + "\n\n#END.: 1");
    ASSERT_TRUE(writeReport(ctx, dir.file("expected.DOC"), s, true));
    EXPECT_EQ(shown, readFile(dir.file("expected.DOC")));
    EXPECT_NE(shown.find("|0102    |Off"), std::string::npos);   // not free, shown all the same
    EXPECT_FALSE(fileExists(temporaryReportPath(ctx.settings)));
    EXPECT_EQ(temporaryReportPath(ctx.settings), dir.file("TMP.DOC"));

    // Its save button writes the same report under the chosen name, as "DOC".
    op.files.push_back(dir.file("copy.txt"));
    view.save();
    ASSERT_EQ(op.choices.size(), 1u);
    EXPECT_EQ(op.choices[0].filter, "Parameter files (*.DOC)|*.DOC|");
    EXPECT_EQ(op.choices[0].defaultExtension, "DOC");
    EXPECT_EQ(readFile(dir.file("copy.DOC")), shown);
    EXPECT_FALSE(fileExists(dir.file("copy.txt")));
    EXPECT_EQ(op.choices[0].proposedName, "unit.DOC");

    // With the user's folders known the temporary report lives there, so an
    // installation nobody may write still shows reports.
    ctx.settings.installDirectory = dir.file("not-there");
    ctx.settings.user.cache = dir.file("cache/fieldservice");
    EXPECT_EQ(ReportViewModel(ctx, dir.file("unit.NFO")).open(), shown);
    EXPECT_EQ(temporaryReportPath(ctx.settings), dir.file("cache/fieldservice/TMP.DOC"));
    EXPECT_THAT(op.texts(), IsEmpty());
}

TEST_F(ViewerTest, ReportViewOfDamagedOrMissingFiles) {
    // A wrong checksum: text 32783, and the report all the same.
    std::string file = readFile(dir.file("unit.NFO"));
    file.back() = file.back() == '0' ? '1' : '0';
    dir.write("bad.NFO", file);
    ReportViewModel bad(ctx, dir.file("bad.NFO"));
    EXPECT_NE(bad.open().find("|0100    |1234"), std::string::npos);
    EXPECT_THAT(op.texts(), ElementsAre("text 32783"));

    // A file that cannot be opened: text 4 three times and nothing shown. A
    // temporary report left behind by an earlier run is not passed off as
    // this file's report.
    op.clear();
    dir.write("TMP.DOC", "stale report");
    ReportViewModel missing(ctx, dir.file("missing.NFO"));
    EXPECT_EQ(missing.open(), "");
    EXPECT_THAT(op.texts(), ElementsAre("text 4", "text 4", "text 4"));
    EXPECT_FALSE(fileExists(temporaryReportPath(ctx.settings)));
}

TEST_F(ViewerTest, EditorShowsTheTextBetweenAnEmptyFirstAndLastLine) {
    ParameterTextModel editor(ctx, dir.file("unit.NFO"));
    EXPECT_EQ(editor.open(), "\r\n" + crlf(kText) + "\r\n");
    EXPECT_THAT(op.texts(), IsEmpty());

    ParameterTextModel missing(ctx, dir.file("missing.NFO"));
    EXPECT_EQ(missing.open(), "");
    EXPECT_THAT(op.texts(), ElementsAre("text 4"));
}

TEST_F(ViewerTest, UnchangedTextSavedFromTheEditorLoadsLikeItsOriginal) {
    ParameterTextModel editor(ctx, dir.file("unit.NFO"));
    std::string area = editor.open();
    op.files.push_back(dir.file("unit.old.NFO"));
    editor.save(area);
    ASSERT_EQ(op.choices.size(), 1u);
    EXPECT_EQ(op.choices[0].defaultExtension, "NFO");
    EXPECT_THAT(op.texts(), IsEmpty());
    EXPECT_TRUE(fileExists(dir.file("unit.old.NFO")));
    EXPECT_TRUE(fileExists(dir.file("unit.old.DOC")));
    EXPECT_EQ(readFile(dir.file("unit.old.DOC")), readFile(dir.file("unit.DOC")));

    // Line ends do not count: the checksum is the original's.
    std::string original = readFile(dir.file("unit.NFO"));
    std::string edited = readFile(dir.file("unit.old.NFO"));
    EXPECT_EQ(original.substr(original.size() - 4), edited.substr(edited.size() - 4));

    // Both load the same values into a device.
    auto loadInto = [&](const std::string& path) {
        SimFixture sim(SimFixture::fromText, "device 5 VALVE01\n pversion 3\n password 4\n param 0100 4 1\n"
                                             " param 0102 onoff on\n param 0104 2 55 ext\n param 0106 4 7\n");
        EXPECT_TRUE(sim.connect(5));
        EXPECT_TRUE(loadParameterFile(on(sim), path));
        std::map<uint32_t, uint32_t> values;
        for (const auto& [key, p] : sim.device(5)->parameters) values[key] = p.value;
        return values;
    };
    auto fromOriginal = loadInto(dir.file("unit.NFO"));
    EXPECT_EQ(fromOriginal, loadInto(dir.file("unit.old.NFO")));
    EXPECT_EQ(fromOriginal.at(0x100), 1234u);
}

TEST_F(ViewerTest, EditedTextIsSealedAsTypedAndCancelWritesNothing) {
    ParameterTextModel editor(ctx, dir.file("unit.NFO"));
    std::string area = editor.open();
    editor.save(area);   // cancelled
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);

    area.replace(area.find("1234"), 4, "4321");
    op.files.push_back(dir.file("changed"));
    editor.save(area);
    MemoryStream back;
    ASSERT_TRUE(readSealedFile(ctx, dir.file("changed.NFO"), back));
    EXPECT_NE(back.str().find("#CODE: 100  #DATA: 4321  "), std::string::npos);
    EXPECT_EQ(back.str().find('\r'), std::string::npos);

    // A text the load would refuse asks first; No goes back to the editor.
    op.clear();
    op.files.push_back(dir.file("broken"));
    editor.save("#CODE: 100  #DATA: 1");
    ASSERT_EQ(op.questions.size(), 1u);
    EXPECT_THAT(op.choices, IsEmpty());
    // Yes: a text without the keys a report needs is then refused with text 4.
    op.clear();
    op.answers = {true};
    op.files.push_back(dir.file("broken"));
    editor.save("#CODE: 100  #DATA: 1");
    EXPECT_THAT(op.texts(), ElementsAre("text 4"));
    EXPECT_FALSE(fileExists(dir.file("broken.NFO")));
}
