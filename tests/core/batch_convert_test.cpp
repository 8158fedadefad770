// "/c path": parameter files matching a pattern become reports beside them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "session/AppContext.h"
#include "app/BatchJobs.h"
#include "app/BatchPattern.h"
#include "batch_support.h"
#include "files/MemoryStream.h"
#include "files/ParameterFiles.h"
#include "platform/DiskFlush.h"

namespace fs = std::filesystem;

namespace {

class BatchConvert : public BatchTest {
protected:
    // A sealed parameter file without its report.
    void parameterFile(const std::string& path, const std::string& name = "PUMPCTRL") {
        fs::create_directories(fs::path(path).parent_path());
        MemoryStream text;
        text.write(parameterText(name));
        ASSERT_TRUE(writeSealedFile(ctx, path, text)) << path;
        fs::remove(fs::path(path).replace_extension(".DOC"));
        op.clear();
    }
    std::string file(const std::string& name) const { return dir.file(name); }
    bool exists(const std::string& name) const { return fs::exists(file(name)); }
};

}  // namespace

TEST(BatchCommandLine, OptionsAreSlashLetterBlank) {
    EXPECT_TRUE(isBatchCommandLine("/c x.NFO"));
    EXPECT_TRUE(isBatchCommandLine("/l x.NFO"));
    EXPECT_TRUE(isBatchCommandLine("-v /c x.NFO"));
    EXPECT_FALSE(isBatchCommandLine("/cx.NFO"));
    EXPECT_FALSE(isBatchCommandLine("/c"));
    EXPECT_FALSE(isBatchCommandLine("/C x.NFO"));
    EXPECT_FALSE(isBatchCommandLine(""));
    DeviceLink link;
    AppContext ctx(link);
    EXPECT_EQ(runBatchJob(ctx, "/c"), 0);   // not a job: nothing happens

    BatchRequest both = parseBatchCommandLine("/l a.NFO /c b dir/*.NFO");
    EXPECT_EQ(both.kind, BatchKind::Convert);
    EXPECT_EQ(both.path, "b dir/*.NFO");   // to the end of the line, blanks and all
    // With "/" as the separator a path may hold "/c " itself: only an option
    // at the start or after a blank counts.
    BatchRequest load = parseBatchCommandLine("/l /mnt/c drive/unit.NFO");
    EXPECT_EQ(load.kind, BatchKind::Load);
    EXPECT_EQ(load.path, "/mnt/c drive/unit.NFO");
    EXPECT_FALSE(isBatchCommandLine("/mnt/c drive/unit.NFO"));

    EXPECT_EQ(batchDirectory("a/b/*.NFO"), "a/b");
    EXPECT_EQ(batchDirectory("*.NFO"), "");
    EXPECT_EQ(batchDirectory("/unit.NFO"), "/");
}

TEST_F(BatchConvert, PatternMatchingTwoFilesWritesTwoReports) {
    parameterFile(file("set/a.NFO"));
    parameterFile(file("set/b.NFO"), "VALVE01");
    dir.write("set/notes.txt", "not a match");
    EXPECT_EQ(runBatchJob(ctx, "/c " + file("set") + "/*.NFO"), 0);
    EXPECT_EQ(op.texts(), std::vector<std::string>{"text 33210"});   // the one summary line
    EXPECT_TRUE(exists("set/a.DOC"));
    EXPECT_TRUE(exists("set/b.DOC"));
    EXPECT_FALSE(exists("set/notes.DOC"));
    EXPECT_NE(dir.read("set/b.DOC").find("VALVE01"), std::string::npos);
    EXPECT_EQ(fs::current_path(), startDir);
}

TEST_F(BatchConvert, PathWithoutDirectoryUsesTheCurrentDirectory) {
    parameterFile(file("unit one.NFO"));
    parameterFile(file("unit.old.NFO"));
    fs::current_path(dir.path());
    EXPECT_EQ(runBatchJob(ctx, "/c unit*.NFO"), 0);
    EXPECT_TRUE(exists("unit one.DOC"));   // blanks in names
    EXPECT_TRUE(exists("unit.old.DOC"));   // the file's own base name
    EXPECT_FALSE(exists("unit.DOC"));
    EXPECT_EQ(fs::current_path(), fs::path(dir.path()));
}

TEST_F(BatchConvert, BothOptionsConvertOnly) {
    parameterFile(file("a.NFO"));
    // A load would need a device link; none is installed, so only the
    // conversion can have run when this ends well.
    EXPECT_EQ(runBatchJob(ctx, "/l " + file("a.NFO") + " /c " + file("a.NFO")), 0);
    EXPECT_TRUE(exists("a.DOC"));
    EXPECT_TRUE(op.progress.empty());
}

TEST_F(BatchConvert, FailingFileIsSkippedAfterItsMessage) {
    parameterFile(file("a.NFO"));
    parameterFile(file("b.NFO"));
    parameterFile(file("c.NFO"));
    std::string sealed = dir.read("b.NFO");
    sealed[sealed.find("#CBEG: ") + 9] ^= 0x01;   // one sealed byte changed
    dir.write("b.NFO", sealed);
    EXPECT_EQ(runBatchJob(ctx, "/c " + file("*.NFO")), 1);
    EXPECT_EQ(op.texts(), std::vector<std::string>{"text 32783"});
    EXPECT_TRUE(exists("a.DOC"));
    EXPECT_FALSE(exists("b.DOC"));
    EXPECT_TRUE(exists("c.DOC"));
}

TEST_F(BatchConvert, MissingDirectoryOrPatternGivesText2) {
    parameterFile(file("a.NFO"));
    EXPECT_EQ(runBatchJob(ctx, "/c " + file("nowhere") + "/*.NFO"), 2);
    EXPECT_EQ(runBatchJob(ctx, "/c " + file("*.XYZ")), 2);
    EXPECT_EQ(runBatchJob(ctx, "/l " + file("nowhere/a.NFO")), 2);
    EXPECT_EQ(runBatchJob(ctx, "/c "), 2);
    EXPECT_EQ(runBatchJob(ctx, "/c " + file("a.NFO") + "/x.NFO"), 2);   // a file is no directory
    fs::create_directory(file("sub.NFO"));
    EXPECT_EQ(runBatchJob(ctx, "/c " + file("sub.NFO")), 2);   // a directory is no file
    EXPECT_EQ(op.texts(), std::vector<std::string>(6, "text 2"));
    EXPECT_EQ(fs::current_path(), startDir);
}

TEST_F(BatchConvert, RelativeDirectoryIsSearchedAgainFromInsideIt) {
    parameterFile(file("sub/a.NFO"));
    fs::current_path(dir.path());
    EXPECT_EQ(runBatchJob(ctx, "/c sub/*.NFO"), 2);   // looks for sub/sub/*.NFO
    EXPECT_EQ(op.texts(), std::vector<std::string>{"text 2"});
    parameterFile(file("sub/sub/b.NFO"));
    EXPECT_EQ(runBatchJob(ctx, "/c sub/*.NFO"), 0);
    EXPECT_TRUE(exists("sub/sub/b.DOC"));
    EXPECT_FALSE(exists("sub/a.DOC"));
    EXPECT_EQ(fs::current_path(), fs::path(dir.path()));
}

TEST_F(BatchConvert, BadFilesGiveTheirMessageAndStatus1) {
    dir.write("notes.txt", "hello");
    dir.write("junk.NFO", std::string("\x00\xff#CBEG: \x01\x02", 12));
    parameterFile(file("good.NFO"));
    // "notes.txt" stands for notes.NFO, which is not there.
    EXPECT_EQ(runBatchJob(ctx, "/c " + file("notes.txt")), 1);
    EXPECT_EQ(op.texts(), std::vector<std::string>{"text 4"});
    op.clear();
    EXPECT_EQ(runBatchJob(ctx, "/c " + file("junk.NFO")), 1);
    EXPECT_EQ(op.texts(), std::vector<std::string>{"text 32783"});
    EXPECT_FALSE(exists("junk.DOC"));
    // A report that cannot be put in place: its name is taken by a directory.
    op.clear();
    fs::create_directory(file("good.DOC"));
    EXPECT_EQ(runBatchJob(ctx, "/c " + file("good.NFO")), 1);
    EXPECT_EQ(op.texts(), std::vector<std::string>{"text 4"});
    EXPECT_TRUE(fs::is_directory(file("good.DOC")));
}

TEST_F(BatchConvert, EachParameterFileIsConvertedOnce) {
    parameterFile(file("a.NFO"));
    dir.write("a.DOC", "old report");
    dir.write("a", "no extension");
    EXPECT_EQ(runBatchJob(ctx, "/c " + file("a*")), 0);   // a, a.DOC and a.NFO all stand for a.NFO
    EXPECT_NE(dir.read("a.DOC"), "old report");
    EXPECT_EQ(op.texts(), std::vector<std::string>{"text 33210"});
}

// Each file the pattern matched is read as it is named; its report takes
// the case of its extension.
TEST_F(BatchConvert, LowerCaseExtensionsAreReadAsMatched) {
    parameterFile(file("low.NFO"));
    fs::rename(file("low.NFO"), file("low.nfo"));
    EXPECT_EQ(runBatchJob(ctx, "/c " + file("*.nfo")), 0);
    EXPECT_TRUE(exists("low.doc"));
    EXPECT_FALSE(exists("low.DOC"));
    EXPECT_EQ(op.texts(), std::vector<std::string>{"text 33210"});
}

TEST_F(BatchConvert, OnlyStarAndQuestionMarkAreWildcards) {
    parameterFile(file("u[1].NFO"));
    parameterFile(file("u1.NFO"));
    parameterFile(file("back\\slash.NFO"));
    EXPECT_EQ(runBatchJob(ctx, "/c " + file("u[1].NFO")), 0);
    EXPECT_TRUE(exists("u[1].DOC"));
    EXPECT_FALSE(exists("u1.DOC"));
    EXPECT_EQ(runBatchJob(ctx, "/c " + file("back\\slas?.NFO")), 0);
    EXPECT_TRUE(exists("back\\slash.DOC"));
}

TEST_F(BatchConvert, HugeCommandLineEndsWithText2) {
    std::string path;
    for (int i = 0; i < 2000; ++i) path += "deep/";
    EXPECT_EQ(runBatchJob(ctx, "/c " + path + "*.NFO"), 2);
    EXPECT_EQ(runBatchJob(ctx, "/c " + std::string(20000, 'x')), 2);
    EXPECT_EQ(runBatchJob(ctx, "/l " + std::string(5000, '*') + "/" + std::string(5000, '?')), 2);
    EXPECT_EQ(op.texts(), std::vector<std::string>(3, "text 2"));
    EXPECT_EQ(fs::current_path(), startDir);
}

// Reports of a conversion reach the disk in one flush at the end of the job,
// not one per file; each is still put in place whole, by rename.
TEST_F(BatchConvert, ReportsAreWholeOrAbsentAndNoTemporaryFilesRemain) {
    for (const char* name : {"a.NFO", "b.NFO", "c.NFO", "d.NFO"}) parameterFile(file(name));
    ASSERT_EQ(runBatchJob(ctx, "/c " + file("?.NFO")), 0);
    const std::string whole = dir.read("a.DOC");
    const std::string earlierB = dir.read("b.DOC");
    fs::remove(file("d.DOC"));
    op.clear();

    // b's report (with an earlier one) and d's (without) stop half way, as on
    // a full disk.
    setFileWriteFault([](const std::string& path) {
        std::string name = fs::path(path).filename().string();
        return name == "b.DOC" || name == "d.DOC";
    });
    EXPECT_EQ(runBatchJob(ctx, "/c " + file("*.NFO")), 1);
    setFileWriteFault(nullptr);
    EXPECT_EQ(op.texts(), std::vector<std::string>(2, "text 4"));
    EXPECT_EQ(dir.read("a.DOC"), whole);
    EXPECT_EQ(dir.read("c.DOC"), whole);
    EXPECT_EQ(dir.read("b.DOC"), earlierB);
    EXPECT_FALSE(exists("d.DOC"));
    for (const auto& entry : fs::directory_iterator(dir.path()))
        EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path();
}

TEST(DiskFlush, FileSystemFlushNeedsAPathThatExists) {
    TempDir dir;
    dir.write("report.DOC", "text");
    EXPECT_TRUE(flushFileSystemOf(dir.path()));
    EXPECT_TRUE(flushFileSystemOf(dir.file("report.DOC")));
    EXPECT_FALSE(flushFileSystemOf(dir.file("missing")));
}
