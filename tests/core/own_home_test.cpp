// The suite keeps to itself: every test CTest runs has a home and XDG folders
// of its own (scripts/own-home.sh, set for every test in tests/CMakeLists.txt),
// so nothing a test does reaches the invoking user's fieldservice folders.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace {

std::string env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

TEST(OwnHome, EveryTestRunsWithAHomeAndXdgFoldersOfItsOwn) {
    const std::string root = env("FS_TEST_HOME");
    if (root.empty() && env("FS_UNDER_CTEST").empty())
        GTEST_SKIP() << "run by hand: sh scripts/own-home.sh gives a test a home of its own";
    ASSERT_FALSE(root.empty()) << "CTest ran this test without scripts/own-home.sh";
    for (const char* name :
         {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"}) {
        SCOPED_TRACE(name);
        const std::string folder = env(name);
        EXPECT_EQ(folder.rfind(root + "/", 0), 0u) << folder;
        struct stat st {};
        ASSERT_EQ(stat(folder.c_str(), &st), 0) << folder;
        EXPECT_TRUE(S_ISDIR(st.st_mode));
        EXPECT_EQ(st.st_uid, getuid());
    }
    struct stat runtime {};
    ASSERT_EQ(stat(env("XDG_RUNTIME_DIR").c_str(), &runtime), 0);
    EXPECT_EQ(runtime.st_mode & 0777, 0700u);
}

}  // namespace
