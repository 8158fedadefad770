// Replacing a file the user set up: both writers (reports and parameter
// files through PendingFile, config.ini through the profile writer) keep the
// old file's permission bits, write through a symbolic link, fall back to
// writing a writable file in place in a folder that takes no new file, and
// refuse anything but a plain or missing file without touching it.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <set>
#include <string>

#include "files/AtomicFile.h"
#include "platform/Profile.h"
#include "platform/ReplaceFile.h"
#include "support/Support.h"

namespace fs = std::filesystem;

namespace {

enum class Target { File0600, Symlink, LockedFolder, Directory, Fifo, Missing };
enum class Writer { Pending, Profile };

const std::string OLD_TEXT = "[s]\nk=old\n";
const std::string NEW_TEXT = "[s]\nk=new\n";

const char* const TargetNames[] = {"File0600", "Symlink", "LockedFolder", "Directory", "Fifo", "Missing"};

std::set<std::string> filesIn(const std::string& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
    return names;
}

// The file type and permission bits, in octal for the messages.
std::string modeOf(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return "missing";
    char text[16];
    std::snprintf(text, sizeof text, "%o", static_cast<unsigned>(st.st_mode));
    return text;
}

class FileReplace : public ::testing::TestWithParam<std::tuple<Target, Writer>> {
protected:
    void TearDown() override {
        setTemporaryFileFault(nullptr);
        ::chmod(dir.path().c_str(), 0755);
    }
    // Writes NEW_TEXT to path the way the writer under test does. The
    // parameter file writer is two-phase: the file named watched (when one
    // is) keeps its old content until commit.
    bool replace(Writer w, const std::string& path, const std::string& watched) {
        if (w == Writer::Profile) return writeProfileString(path, "s", "k", "new");
        PendingFile file;
        if (!file.write(path, NEW_TEXT)) return false;
        if (!watched.empty()) {
            EXPECT_EQ(dir.read(watched), OLD_TEXT) << "changed before commit";
        }
        return file.commit();
    }
    TempDir dir;
};

TEST_P(FileReplace, KeepsWhatTheUserSetUp) {
    const auto [target, writer] = GetParam();
    const std::string path = dir.file("f.ini");
    std::string real = path;   // the file whose content changes
    bool accepted = true;
    switch (target) {
    case Target::File0600:
        dir.write("f.ini", OLD_TEXT);
        ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
        break;
    case Target::Symlink:
        real = dir.file("real.ini");
        dir.write("real.ini", OLD_TEXT);
        ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
        ASSERT_EQ(::symlink("real.ini", path.c_str()), 0);
        break;
    case Target::LockedFolder: {
        dir.write("f.ini", OLD_TEXT);
        ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
        ASSERT_EQ(::chmod(dir.path().c_str(), 0555), 0);
        // Root creates files in a read-only folder all the same: then the
        // temporary file is refused by the hook instead.
        std::string probe = dir.file("probe");
        int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
        if (fd >= 0) {
            ::close(fd);
            ::unlink(probe.c_str());
            const std::string locked = dir.path();
            setTemporaryFileFault([locked](const std::string& folder) { return folder == locked; });
        }
        break;
    }
    case Target::Directory:
        ASSERT_TRUE(fs::create_directory(path));
        accepted = false;
        break;
    case Target::Fifo:
        ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
        accepted = false;
        break;
    case Target::Missing:
        break;
    }
    const std::set<std::string> before = filesIn(dir.path());
    const std::string modeBefore = modeOf(real);

    const std::string realName = fs::path(real).filename().string();
    bool ok = replace(writer, path, target == Target::Missing || !accepted ? std::string() : realName);
    ::chmod(dir.path().c_str(), 0755);

    EXPECT_EQ(ok, accepted);
    std::set<std::string> after = before;
    if (target == Target::Missing) after.insert("f.ini");
    EXPECT_EQ(filesIn(dir.path()), after) << "a temporary file stayed behind";
    if (!accepted) {
        EXPECT_EQ(modeOf(path), modeBefore) << "the refused target was replaced";
        return;
    }
    EXPECT_EQ(dir.read(realName), NEW_TEXT);
    struct stat st {};
    ASSERT_EQ(::lstat(path.c_str(), &st), 0);
    EXPECT_EQ(S_ISLNK(st.st_mode), target == Target::Symlink);
    if (target != Target::Missing) {
        EXPECT_EQ(modeOf(real), modeBefore);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Matrix, FileReplace,
    ::testing::Combine(::testing::Values(Target::File0600, Target::Symlink, Target::LockedFolder, Target::Directory,
                                         Target::Fifo, Target::Missing),
                       ::testing::Values(Writer::Pending, Writer::Profile)),
    [](const auto& info) {
        return std::string(TargetNames[int(std::get<0>(info.param))]) +
               (std::get<1>(info.param) == Writer::Pending ? "_PendingFile" : "_ConfigIni");
    });

}  // namespace
