// config.ini reading and writing: the values as the platform's profile
// functions give them, and writes that change one key and nothing else.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <random>
#include <set>
#include <string>

#include "platform/Profile.h"
#include "support/Support.h"

namespace {

const char* const SECTION = "BASIC Configurations";

// Names of the files in a directory, to see that no temporary file stays behind.
std::set<std::string> filesIn(const std::string& dir) {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir)) names.insert(e.path().filename().string());
    return names;
}

}  // namespace

TEST(ProfileRead, ValuesTrimmedAndMatchedWithoutRegardToCase) {
    TempDir dir;
    dir.write("config.ini",
              "language=top\r\n"                        // before any section: belongs to none
              "[Other]\r\nlanguage=other\r\n"
              "  [ basic configurations ]  \r\n"
              "  LANGUAGE =  ita  \r\n"
              "language=second\r\n"                     // the first occurrence counts
              "serial_port\r\n"                         // no "=": no key
              "quoted=\"  a b  \"\r\n"
              "single='x'\r\n"
              "half=\"x\r\n"
              "empty=\r\n");
    std::string ini = dir.file("config.ini");
    EXPECT_EQ(profileString(ini, SECTION, "language", "def"), "ita");
    EXPECT_EQ(profileString(ini, "other", "Language", "def"), "other");
    EXPECT_EQ(profileString(ini, SECTION, "serial_port", "def"), "def");
    EXPECT_EQ(profileString(ini, SECTION, "quoted", ""), "  a b  ");
    EXPECT_EQ(profileString(ini, SECTION, "single", ""), "x");
    EXPECT_EQ(profileString(ini, SECTION, "half", ""), "\"x");
    EXPECT_EQ(profileString(ini, SECTION, "empty", "def"), "");
    EXPECT_EQ(profileString(ini, "Missing", "language", "def"), "def");
    EXPECT_EQ(profileString(dir.file("none.ini"), SECTION, "language", "def"), "def");
    EXPECT_EQ(profileString(dir.path(), SECTION, "language", "def"), "def");   // a directory
}

TEST(ProfileRead, LongValuesCutAt4095) {
    TempDir dir;
    std::string longValue(5000, 'v');
    dir.write("config.ini", "[s]\nk=" + longValue + "\n");
    EXPECT_EQ(profileString(dir.file("config.ini"), "s", "k", ""), std::string(4095, 'v'));
    EXPECT_EQ(profileString(dir.file("config.ini"), "s", "missing", longValue), std::string(4095, 'v'));
}

TEST(ProfileRead, IntegersReadAsDecimalLikeThePlatform) {
    TempDir dir;
    dir.write("config.ini",
              "[BASIC Configurations]\n"
              "serial_port=258\n"
              "connect_on_startup=5\n"
              "a=12abc\nb=abc\nc=-5\nd= +7 \ne=0x10\nf=4294967297\ng=\n");
    std::string ini = dir.file("config.ini");
    EXPECT_EQ(profileInt(ini, SECTION, "serial_port", 1), 258u);
    EXPECT_EQ(profileInt(ini, SECTION, "connect_on_startup", 0), 5u);
    EXPECT_EQ(profileInt(ini, SECTION, "a", 99), 12u);
    EXPECT_EQ(profileInt(ini, SECTION, "b", 99), 0u);
    EXPECT_EQ(profileInt(ini, SECTION, "c", 99), 4294967291u);
    EXPECT_EQ(profileInt(ini, SECTION, "d", 99), 7u);
    EXPECT_EQ(profileInt(ini, SECTION, "e", 99), 0u);          // decimal only
    EXPECT_EQ(profileInt(ini, SECTION, "f", 99), 1u);          // wraps at 32 bits
    EXPECT_EQ(profileInt(ini, SECTION, "g", 99), 99u);         // empty: the default
    EXPECT_EQ(profileInt(ini, SECTION, "missing", 1), 1u);
}

TEST(ProfileWrite, ChangesOneKeyAndKeepsEverythingElse) {
    TempDir dir;
    const std::string before =
        "; written by hand\r\n"
        "[Port Devices]\r\ncom1=/dev/ttyUSB0\r\n\r\n"
        "[basic configurations]\r\n"
        "Language = eng   \r\n"
        "serial_port=1\r\n"
        "\r\n"
        "; trailing comment\r\n"
        "[Last]\r\nx=1";
    dir.write("config.ini", before);
    std::string ini = dir.file("config.ini");

    ASSERT_TRUE(writeProfileString(ini, SECTION, "language", "ita"));
    std::string expected = before;
    expected.replace(expected.find("Language = eng   "), 17, "Language = ita");
    EXPECT_EQ(dir.read("config.ini"), expected);

    // A new key goes after the section's last key, in the file's line ends.
    ASSERT_TRUE(writeProfileString(ini, SECTION, "connect_on_startup", "1"));
    expected.insert(expected.find("serial_port=1\r\n") + 15, "connect_on_startup=1\r\n");
    EXPECT_EQ(dir.read("config.ini"), expected);

    // A key in the unterminated last line keeps it unterminated.
    ASSERT_TRUE(writeProfileString(ini, "last", "X", "2"));
    expected.replace(expected.find("x=1"), 3, "x=2");
    EXPECT_EQ(dir.read("config.ini"), expected);

    // A new section is appended, after a line end for the unterminated last line.
    ASSERT_TRUE(writeProfileString(ini, "New", "k", "v"));
    expected += "\r\n[New]\r\nk=v\r\n";
    EXPECT_EQ(dir.read("config.ini"), expected);

    EXPECT_EQ(profileString(ini, SECTION, "language", ""), "ita");
    EXPECT_EQ(profileInt(ini, SECTION, "connect_on_startup", 0), 1u);
    EXPECT_EQ(filesIn(dir.path()), std::set<std::string>{"config.ini"});
}

TEST(ProfileWrite, CreatesTheFileAndKeepsModeAndLinks) {
    TempDir dir;
    std::string ini = dir.file("config.ini");
    ASSERT_TRUE(writeProfileString(ini, SECTION, "language", "eng"));
    EXPECT_EQ(dir.read("config.ini"), "[BASIC Configurations]\nlanguage=eng\n");
    ASSERT_TRUE(writeProfileString(ini, SECTION, "serial_port", "5"));
    EXPECT_EQ(dir.read("config.ini"), "[BASIC Configurations]\nlanguage=eng\nserial_port=5\n");

    ASSERT_EQ(::chmod(ini.c_str(), 0640), 0);
    ASSERT_TRUE(writeProfileString(ini, SECTION, "serial_port", "6"));
    struct stat st {};
    ASSERT_EQ(::stat(ini.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);

    // Through a symbolic link the linked file changes and the link stays.
    std::string link = dir.file("link.ini");
    ASSERT_EQ(::symlink(ini.c_str(), link.c_str()), 0);
    ASSERT_TRUE(writeProfileString(link, SECTION, "serial_port", "7"));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(profileInt(ini, SECTION, "serial_port", 0), 7u);
}

TEST(ProfileWrite, RefusedWritesLeaveTheFileAlone) {
    TempDir dir;
    const std::string before = "[BASIC Configurations]\nlanguage=eng\n";
    dir.write("config.ini", before);
    std::string ini = dir.file("config.ini");

    // A value with a line break would add lines of its own.
    EXPECT_FALSE(writeProfileString(ini, SECTION, "language", "eng\n[Evil]\nx=1"));
    EXPECT_FALSE(writeProfileString(ini, SECTION, "language", "eng\rx"));
    EXPECT_FALSE(writeProfileString(ini, SECTION, "language", std::string("e\0g", 3)));
    EXPECT_FALSE(writeProfileString(ini, SECTION, "lang=uage", "x"));
    EXPECT_FALSE(writeProfileString(ini, SECTION, "", "x"));
    EXPECT_FALSE(writeProfileString(ini, "A]B", "k", "x"));
    EXPECT_EQ(dir.read("config.ini"), before);

    // A directory in the file's place is not replaced.
    std::filesystem::create_directory(dir.file("dir.ini"));
    EXPECT_FALSE(writeProfileString(dir.file("dir.ini"), SECTION, "language", "x"));
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("dir.ini")));

    // A directory that does not exist gets nothing.
    EXPECT_FALSE(writeProfileString(dir.file("no/config.ini"), SECTION, "language", "x"));
    EXPECT_EQ(filesIn(dir.path()), (std::set<std::string>{"config.ini", "dir.ini"}));
}

TEST(ProfileWrite, FailedWriteLeavesTheOldFileWhole) {
    TempDir dir;
    std::string before = "[BASIC Configurations]\nlanguage=eng\n; padding " + std::string(20000, 'p') + "\n";
    dir.write("config.ini", before);
    std::string ini = dir.file("config.ini");

    // The disk runs full in the middle of the new file: a file size limit
    // makes the write fail the same way.
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    struct rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    bool written = writeProfileString(ini, SECTION, "language", "ita");
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(written);
    EXPECT_EQ(dir.read("config.ini"), before);
    EXPECT_EQ(filesIn(dir.path()), std::set<std::string>{"config.ini"});

    if (::geteuid() != 0) {
        // A directory without write permission and a file without it: no
        // temporary file can be made, nor the file written in place.
        ASSERT_EQ(::chmod(dir.path().c_str(), 0555), 0);
        ASSERT_EQ(::chmod(ini.c_str(), 0444), 0);
        EXPECT_FALSE(writeProfileString(ini, SECTION, "language", "ita"));
        ::chmod(dir.path().c_str(), 0755);
        ::chmod(ini.c_str(), 0644);
        EXPECT_EQ(dir.read("config.ini"), before);
        // A file that cannot be read is never rewritten from nothing.
        ASSERT_EQ(::chmod(ini.c_str(), 0200), 0);
        EXPECT_FALSE(writeProfileString(ini, SECTION, "language", "ita"));
        ::chmod(ini.c_str(), 0644);
        EXPECT_EQ(dir.read("config.ini"), before);
    }
}

TEST(ProfileFiles, BinaryAndHugeFilesAreHandled) {
    TempDir dir;
    std::mt19937 rng(42);
    std::string garbage;
    for (int i = 0; i < 200000; ++i) garbage += static_cast<char>(rng());
    dir.write("binary.ini", garbage);
    std::string bin = dir.file("binary.ini");
    // Whatever it reads, it reads without harm, and a write keeps every byte.
    (void)profileString(bin, SECTION, "language", "");
    (void)profileInt(bin, SECTION, "serial_port", 1);
    ASSERT_TRUE(writeProfileString(bin, "Fresh Section", "k", "v"));
    std::string after = dir.read("binary.ini");
    ASSERT_GE(after.size(), garbage.size());
    EXPECT_EQ(after.substr(0, garbage.size()), garbage);
    EXPECT_EQ(profileString(bin, "Fresh Section", "k", ""), "v");

    // A line of several megabytes before the section.
    std::string huge = std::string(3 << 20, 'h') + "\n[BASIC Configurations]\nserial_port=3\n";
    dir.write("huge.ini", huge);
    EXPECT_EQ(profileInt(dir.file("huge.ini"), SECTION, "serial_port", 1), 3u);
    ASSERT_TRUE(writeProfileString(dir.file("huge.ini"), SECTION, "serial_port", "4"));
    EXPECT_EQ(dir.read("huge.ini"), std::string(3 << 20, 'h') + "\n[BASIC Configurations]\nserial_port=4\n");
}

TEST(ProfileFiles, ReadableOnlyForRegularFiles) {
    TempDir dir;
    dir.write("config.ini", "");
    EXPECT_TRUE(profileReadable(dir.file("config.ini")));
    EXPECT_FALSE(profileReadable(dir.file("missing.ini")));
    EXPECT_FALSE(profileReadable(dir.path()));
    ASSERT_EQ(::mkfifo(dir.file("fifo.ini").c_str(), 0600), 0);
    EXPECT_FALSE(profileReadable(dir.file("fifo.ini")));
    EXPECT_EQ(profileString(dir.file("fifo.ini"), SECTION, "language", "def"), "def");
}
